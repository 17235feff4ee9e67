# The whole tree's includes point one way: every source and header of src/ and app/ lies in a
# folder of the table LEVELS (from the bottom: "folder,folder|folder|..."); each of its includes
# names a header of its own folder or of a folder on a lower level (folders on one level do not
# see each other); and no two units (a header with its source) include each other, however far
# round. The shell counts as one folder here: its rooms are checked by shell_includes.cmake.
# Fails naming the file and the include that points the wrong way, or the units of the loop.
#   cmake -DROOT=. "-DLEVELS=platform,model|sheet|..." -P tree_includes.cmake
cmake_minimum_required(VERSION 3.22)
set(failures "")

string(REPLACE "|" ";" levels "${LEVELS}")
set(folders "")
set(index 0)
foreach(level IN LISTS levels)
  string(REPLACE "," ";" members "${level}")
  foreach(folder IN LISTS members)
    set(level_of_${folder} ${index})
    list(APPEND folders ${folder})
  endforeach()
  math(EXPR index "${index} + 1")
endforeach()
if(NOT folders)
  message(FATAL_ERROR "no levels given (LEVELS is empty)")
endif()

# The folder of a file (its path from src/, or from the root for app/): its first directory, and
# for analysis, modules and app the one below it when there is one.
function(folder_of path out)
  if(path MATCHES "^(analysis|modules|app)/([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}/${CMAKE_MATCH_2}" PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE sources RELATIVE ${ROOT}/src ${ROOT}/src/*.cpp ${ROOT}/src/*.hpp)
file(GLOB_RECURSE app_sources RELATIVE ${ROOT} ${ROOT}/app/*.cpp ${ROOT}/app/*.hpp)
list(APPEND sources ${app_sources})
list(SORT sources)
set(units "")
foreach(source IN LISTS sources)
  if(source MATCHES "^app/")
    set(file ${ROOT}/${source})
  else()
    set(file ${ROOT}/src/${source})
  endif()
  folder_of(${source} folder)
  if(NOT folder IN_LIST folders)
    string(APPEND failures "  ${source}: lies in no folder of the table (${folder})\n")
    continue()
  endif()
  string(REGEX REPLACE "\\.[ch]pp$" "" unit "${source}")
  list(APPEND units ${unit})
  get_filename_component(dir ${source} DIRECTORY)
  file(STRINGS ${file} includes REGEX "^#include \"[^\"]+\\.hpp\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\\.hpp\".*$" "\\1" name "${line}")
    # A header beside the file (the console's own), else one from the root of the sources.
    if(EXISTS ${ROOT}/${dir}/${name}.hpp AND source MATCHES "^app/")
      set(target_unit ${dir}/${name})
    elseif(EXISTS ${ROOT}/src/${name}.hpp)
      set(target_unit ${name})
    else()
      continue()  # a header of a library outside the tree
    endif()
    folder_of(${target_unit} target_folder)
    if(NOT target_folder STREQUAL folder)
      if(NOT target_folder IN_LIST folders)
        string(APPEND failures "  ${source}: ${line} names a folder not in the table\n")
      elseif(NOT level_of_${target_folder} LESS level_of_${folder})
        string(APPEND failures
               "  ${source}: ${line} (${folder} sees only folders below it; ${target_folder} is "
               "not)\n")
      endif()
    endif()
    if(NOT target_unit STREQUAL unit)
      list(APPEND edges_${unit} ${target_unit})
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES units)

include(${CMAKE_CURRENT_LIST_DIR}/include_loops.cmake)
find_include_loops("${units}")

if(failures)
  message(FATAL_ERROR "Includes pointing the wrong way:\n${failures}")
endif()
list(LENGTH sources files)
list(LENGTH folders count)
message(STATUS "${files} files in ${count} folders, every include one way")
