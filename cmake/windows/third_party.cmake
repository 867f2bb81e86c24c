# The XML libraries for the Windows target, built from Debian's source packages,
# since Debian ships no mingw builds of them. scripts/install-deps.sh --windows
# unpacks the sources into CORVANE_WINDOWS_SOURCES.
set(CORVANE_WINDOWS_SOURCES /var/cache/corvane-windows-src CACHE PATH
  "Where the pugixml and libxml2 sources for the Windows build are unpacked")

file(GLOB pugixml_dirs LIST_DIRECTORIES true ${CORVANE_WINDOWS_SOURCES}/pugixml-*)
file(GLOB libxml2_dirs LIST_DIRECTORIES true ${CORVANE_WINDOWS_SOURCES}/libxml2-*)
list(FILTER pugixml_dirs EXCLUDE REGEX "\\.(tar|dsc|gz|xz)")
list(FILTER libxml2_dirs EXCLUDE REGEX "\\.(tar|dsc|gz|xz)")
if(NOT pugixml_dirs OR NOT libxml2_dirs)
  message(FATAL_ERROR "The Windows build needs the pugixml and libxml2 sources in "
    "${CORVANE_WINDOWS_SOURCES}; run scripts/install-deps.sh --windows, or give "
    "-DCORVANE_WINDOWS_SOURCES=DIR")
endif()
list(GET pugixml_dirs 0 pugixml_dir)
list(GET libxml2_dirs 0 libxml2_dir)

add_library(pugixml STATIC ${pugixml_dir}/src/pugixml.cpp)
target_include_directories(pugixml SYSTEM PUBLIC ${pugixml_dir}/src)
add_library(pugixml::pugixml ALIAS pugixml)

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
