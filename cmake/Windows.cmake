# 64-bit Windows, cross-compiled with mingw-w64 (cmake/mingw-w64-x86_64.cmake).
# - Every program in one folder (bin/), beside the libraries it loads at run time.
# - Linked statically against the compiler's run-time libraries: the console needs only
#   Windows' own KERNEL32 and msvcrt.
# - Every program carries the manifest: UTF-8 as the active code page (Chinese names of files
#   arrive whole in main's arguments and the C library's calls; Windows 10 1903 and later),
#   long paths, Windows 10 and later.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
add_link_options(-static)

set(pellucor_manifest_rc ${PROJECT_BINARY_DIR}/pellucor-manifest.rc)
set(pellucor_manifest_obj ${PROJECT_BINARY_DIR}/pellucor-manifest.o)
file(WRITE ${pellucor_manifest_rc}
     "1 24 \"${PROJECT_SOURCE_DIR}/cmake/windows/pellucor.manifest\"\n")
execute_process(
  COMMAND ${CMAKE_RC_COMPILER} -O coff -i ${pellucor_manifest_rc} -o ${pellucor_manifest_obj}
  RESULT_VARIABLE pellucor_manifest_result)
if(NOT pellucor_manifest_result EQUAL 0)
  message(FATAL_ERROR "windres cannot compile the manifest")
endif()
add_link_options("$<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:${pellucor_manifest_obj}>")

# A library loaded at run time by its file's name, copied beside the programs.
function(pellucor_runtime_library variable name)
  find_file(${variable}_DLL ${name}.dll HINTS ${CMAKE_PREFIX_PATH} PATH_SUFFIXES bin
            NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(COPY ${${variable}_DLL} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set(${variable} ${name}.dll PARENT_SCOPE)
  set_property(GLOBAL APPEND PROPERTY PELLUCOR_RUNTIME_LIBRARIES ${${variable}_DLL})
endfunction()
add_compile_definitions(_USE_MATH_DEFINES)  # M_PI and its kin, as glibc gives them

# The header-only libraries (Boost.Math, Random123) for every target, as /usr/include gives them
# on Debian: the cross compiler does not look there.
find_path(PELLUCOR_BOOST_MATH_INCLUDE boost/math/special_functions/erf.hpp REQUIRED)
include_directories(SYSTEM ${PELLUCOR_BOOST_MATH_INCLUDE})
enable_language(RC)
