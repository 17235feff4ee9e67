# Runs the background generator (under the emulator of a cross build) and compares its output
# with the committed picture.
execute_process(COMMAND ${EMULATOR} ${GENERATOR} ${OUTPUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_background failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${COMMITTED} RESULT_VARIABLE diff)
if(NOT diff EQUAL 0)
  message(FATAL_ERROR "${COMMITTED} differs from what make_background writes; "
                      "rebuild it with the update_background target")
endif()
