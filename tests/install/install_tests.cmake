# Tests of what an integrator gets: the installed tree, the CMake package and the
# pkg-config file (through examples/host built against them), the Debian
# package, the refusal of an incompatible host and the module's exported symbols.
set(CORVANE_INSTALL_TEST_DIR ${CMAKE_BINARY_DIR}/install-tests)
set(CORVANE_INSTALL_SCRIPT ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh)
set(CORVANE_INSTALL_ENV
  "BUILD_DIR=${CMAKE_BINARY_DIR}" "SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  "WORK_DIR=${CORVANE_INSTALL_TEST_DIR}" "CMAKE_COMMAND=${CMAKE_COMMAND}"
  "CPACK_COMMAND=${CMAKE_CPACK_COMMAND}" "CXX=${CMAKE_CXX_COMPILER}")

function(corvane_install_test name)
  add_test(NAME install.${name} COMMAND bash ${CORVANE_INSTALL_SCRIPT} ${name})
  set_tests_properties(install.${name} PROPERTIES ENVIRONMENT "${CORVANE_INSTALL_ENV}"
    ${ARGN})
endfunction()

corvane_install_test(module_exports_only_entry_points)
corvane_install_test(install_prefix FIXTURES_SETUP corvane_installed)
corvane_install_test(host_through_cmake_package FIXTURES_REQUIRED corvane_installed)
corvane_install_test(host_through_pkg_config FIXTURES_REQUIRED corvane_installed)
corvane_install_test(incompatible_host_is_refused FIXTURES_REQUIRED corvane_installed)
corvane_install_test(installed_tool_finds_installed_module FIXTURES_REQUIRED corvane_installed)
corvane_install_test(debian_package RUN_SERIAL ON)
