# The HTML report opened in headless Chromium. The screenshots it takes are kept
# in report-screenshots/ of the build folder. Debian's Selenium is installed for
# Debian's own python3, so that one is preferred. Without a browser the test is
# skipped with a message, unless CORVANE_REQUIRE_BROWSER is set (as CI does).
find_program(CORVANE_BROWSER_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT CORVANE_BROWSER_PYTHON)
  find_program(CORVANE_BROWSER_PYTHON python3 REQUIRED)
endif()
add_test(NAME report.page_in_browser
  COMMAND ${CORVANE_BROWSER_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/report_page_test.py
    --corvane $<TARGET_FILE:corvane> --source ${CMAKE_SOURCE_DIR}
    --artifacts ${CMAKE_BINARY_DIR}/report-screenshots)
set_tests_properties(report.page_in_browser PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 1200)
