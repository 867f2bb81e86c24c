# The page of `corvane run --html` is made from the files beside this one when
# they change: CORVANE_REPORT_PAGE is the generated source the tool is built with.
set(CORVANE_REPORT_PAGE ${CMAKE_BINARY_DIR}/generated/report_page.cc)
add_custom_command(OUTPUT ${CORVANE_REPORT_PAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_CURRENT_LIST_DIR}
    -DOUTPUT=${CORVANE_REPORT_PAGE} -P ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/report.html ${CMAKE_CURRENT_LIST_DIR}/report.css
    ${CMAKE_CURRENT_LIST_DIR}/report.js ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
  COMMENT "Building the HTML report page into the tool"
  VERBATIM)
