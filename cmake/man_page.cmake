# Writes PAGE for PROGRAM from its --help with help2man. Run with cmake -P.
# No display: a program whose --help broke must not open a window here.
get_filename_component(page_dir ${PAGE} DIRECTORY)
file(MAKE_DIRECTORY ${page_dir})
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY ${PROGRAM} --help
                RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_QUIET TIMEOUT 20)
if(status EQUAL 0 AND help MATCHES "Usage" AND HELP2MAN)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                          ${HELP2MAN} --no-info --section=1 --version-string=${VERSION} --name=${SUMMARY}
                          --output=${PAGE} ${PROGRAM}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${PROGRAM}")
  endif()
else()
  message(FATAL_ERROR "${PROGRAM} --help gave no usage text (status ${status})")
endif()
