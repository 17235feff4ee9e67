# Inside the shell the windows depend one way: the main window hosts the sheets and knows no
# analysis window; the analysis windows know the main window (the member table types into its
# sheets) but not the analysis menu; only the analysis menu (analysis_actions) knows them all.
# Fails naming the file and the include that points the wrong way.
set(rules
  "main_window\\.[ch]pp:shell/([a-z_]+/)?(analysis_actions|reliability_window|batch_window|chart_window)\\.hpp"
  "reliability_window\\.[ch]pp:shell/([a-z_]+/)?(analysis_actions|main_window|batch_window|chart_window)\\.hpp"
  "chart_window\\.[ch]pp:shell/([a-z_]+/)?(analysis_actions|main_window|batch_window|reliability_window)\\.hpp"
  "batch_window\\.[ch]pp:shell/([a-z_]+/)?(analysis_actions|reliability_window|chart_window)\\.hpp"
  "(qt_sheet_view|dialogs|background_run|pdf_report|chart_builder)\\.[ch]pp:shell/([a-z_]+/)?(analysis_actions|main_window|reliability_window|batch_window|chart_window)\\.hpp"
)
file(GLOB_RECURSE sources ${SHELL_DIR}/*.cpp ${SHELL_DIR}/*.hpp)
set(failures "")
foreach(rule IN LISTS rules)
  string(REGEX MATCH "^([^:]*):(.*)$" _ "${rule}")
  set(file_pattern "${CMAKE_MATCH_1}")
  set(include_pattern "${CMAKE_MATCH_2}")
  foreach(source IN LISTS sources)
    get_filename_component(name ${source} NAME)
    if(NOT name MATCHES "^${file_pattern}$")
      continue()
    endif()
    file(STRINGS ${source} includes REGEX "^#include \"${include_pattern}\"")
    foreach(line IN LISTS includes)
      string(APPEND failures "  ${name}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "Shell includes pointing the wrong way:\n${failures}")
endif()
