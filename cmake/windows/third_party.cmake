# The XML libraries for the Windows target, built from Debian's source packages,
# since Debian ships no mingw builds of them: pugixml as on Linux
# (cmake/pugixml.cmake), libxml2 here. scripts/install-deps.sh --windows unpacks
# both into CORVANE_SOURCES.
include(${CMAKE_SOURCE_DIR}/cmake/pugixml.cmake)

corvane_unpacked_source(libxml2_dir libxml2 "scripts/install-deps.sh --windows")

# Only the parser: no network, no codecs beyond the built-in ones, no programs.
set(BUILD_SHARED_LIBS OFF)
foreach(feature FTP HTTP ICONV ICU LZMA MODULES PROGRAMS PYTHON TESTS ZLIB)
  set(LIBXML2_WITH_${feature} OFF CACHE BOOL "" FORCE)
endforeach()
# Its single-threaded build does not compile for Windows; the threaded one uses
# native Windows threads and needs nothing more.
set(LIBXML2_WITH_THREADS ON CACHE BOOL "" FORCE)
add_subdirectory(${libxml2_dir} ${CMAKE_BINARY_DIR}/libxml2 EXCLUDE_FROM_ALL SYSTEM)
target_compile_options(LibXml2 PRIVATE -w)
# Built as a static library: nothing of it is exported from Corvane.dll.
target_compile_definitions(LibXml2 PRIVATE LIBXML_STATIC)

# nlohmann-json, for corvane.exe: header-only, so Debian's copy serves the
# Windows build as it is. It is copied into the build tree so that its own
# directory, and not the whole of /usr/include, is on the include path.
set(CORVANE_NLOHMANN_JSON_DIR /usr/include/nlohmann CACHE PATH
  "Where nlohmann/json.hpp is (Debian's nlohmann-json3-dev)")
if(NOT EXISTS ${CORVANE_NLOHMANN_JSON_DIR}/json.hpp)
  message(FATAL_ERROR "corvane.exe needs nlohmann-json's headers in ${CORVANE_NLOHMANN_JSON_DIR}; "
    "install nlohmann-json3-dev or give -DCORVANE_NLOHMANN_JSON_DIR=DIR")
endif()
file(COPY ${CORVANE_NLOHMANN_JSON_DIR}/ DESTINATION ${CMAKE_BINARY_DIR}/third_party/include/nlohmann)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third_party/include)
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
