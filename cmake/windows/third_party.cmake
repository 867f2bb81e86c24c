# The XML libraries for the Windows target, built from Debian's source packages,
# since Debian ships no mingw builds of them: pugixml as on Linux
# (cmake/pugixml.cmake), libxml2 here. scripts/install-deps.sh --windows unpacks
# both into CORVANE_SOURCES.
include(${CMAKE_SOURCE_DIR}/cmake/pugixml.cmake)

file(GLOB libxml2_dirs LIST_DIRECTORIES true ${CORVANE_SOURCES}/libxml2-*)
list(FILTER libxml2_dirs EXCLUDE REGEX "\\.(tar|dsc|gz|xz)")
if(NOT libxml2_dirs)
  message(FATAL_ERROR "The Windows build needs the libxml2 source in ${CORVANE_SOURCES}; "
    "run scripts/install-deps.sh --windows, or give -DCORVANE_SOURCES=DIR")
endif()
list(GET libxml2_dirs 0 libxml2_dir)

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
