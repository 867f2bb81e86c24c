# Installation, the CMake package, the pkg-config file and the Debian package.
include(CMakePackageConfigHelpers)

set(CORVANE_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Corvane)
set(CORVANE_PKGCONFIG_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(CORVANE_SYSTEM_REGISTRY /var/lib/pelmark/registry)

install(TARGETS Corvane LIBRARY DESTINATION ${CORVANE_MODULE_INSTALL_DIR} COMPONENT runtime)
if(TARGET corvane)
  install(TARGETS corvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()
install(DIRECTORY include/pelmark include/corvane DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development FILES_MATCHING PATTERN "*.h")
install(FILES docs/corvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime
  FILES_MATCHING PATTERN "*.md" PATTERN "*.svg")

# find_package(Corvane CONFIG): Corvane::contract (headers, C++20, libdl) and
# Corvane::module (the installed Corvane.so, an imported module library).
configure_package_config_file(cmake/CorvaneConfig.cmake.in
  ${CMAKE_BINARY_DIR}/CorvaneConfig.cmake INSTALL_DESTINATION ${CORVANE_CMAKE_INSTALL_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CORVANE_MODULE_INSTALL_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/CorvaneConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/CorvaneConfig.cmake ${CMAKE_BINARY_DIR}/CorvaneConfigVersion.cmake
  DESTINATION ${CORVANE_CMAKE_INSTALL_DIR} COMPONENT development)

# pkg-config: relative to the .pc file's own place, so an unpacked tree works too.
file(RELATIVE_PATH CORVANE_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${CORVANE_PKGCONFIG_INSTALL_DIR}
  ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" CORVANE_PC_TO_PREFIX "${CORVANE_PC_TO_PREFIX}")
configure_file(cmake/corvane.pc.in ${CMAKE_BINARY_DIR}/corvane.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/corvane.pc DESTINATION ${CORVANE_PKGCONFIG_INSTALL_DIR}
  COMPONENT development)

# The Debian package. Installing registers the classes into the system registry
# directory; removing unregisters exactly those entries. Both go through corvane.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "Corvane maintainers <maintainers@corvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Workflow activity classes for a document-management system (component, headers, tool)")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libxml2, libstdc++6 (>= 12)")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CORVANE_PACKAGED_MODULE ${CPACK_PACKAGING_INSTALL_PREFIX}/${CORVANE_MODULE_INSTALL_DIR}/Corvane.so)
set(CORVANE_PACKAGED_TOOL ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/corvane)
foreach(script postinst prerm)
  configure_file(cmake/debian/${script}.in ${CMAKE_BINARY_DIR}/debian/${script} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
    WORLD_EXECUTE)
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_BINARY_DIR}/debian/postinst ${CMAKE_BINARY_DIR}/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# bash completion: found by bash-completion's own loader under this name.
install(FILES tools/corvane/corvane.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME corvane COMPONENT runtime)
# The schema editors use to complete and check scenario files.
install(FILES docs/scenario.schema.json DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
# The class schemas it refers to, beside it as its references expect.
install(DIRECTORY docs/classes/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/classes COMPONENT runtime
  FILES_MATCHING PATTERN "*.schema.json")

# Workflow files to try with the installed tool: corvane run --html page.html FILE.
install(DIRECTORY examples/workflows DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT runtime)
