# pugixml built from Debian's source package in compact mode (PUGIXML_COMPACT),
# which stores a node in 12 bytes and an attribute in 8 instead of 64 and 40: an
# item list of a million documents then needs about a fifth of the tree memory.
# The distribution's binary package is built without it. The library, the
# simulator and the tools all link this one build, so there is one pugixml per
# process. scripts/install-deps.sh unpacks the source into CORVANE_SOURCES.
set(CORVANE_SOURCES /var/cache/corvane-src CACHE PATH
  "Where Debian's pugixml (and, for Windows, libxml2) source packages are unpacked")

# Sets `out` to the folder of `package`'s unpacked source in CORVANE_SOURCES,
# or stops the configuration saying which install-deps.sh command unpacks it.
function(corvane_unpacked_source out package install_command)
  file(GLOB dirs LIST_DIRECTORIES true ${CORVANE_SOURCES}/${package}-*)
  list(FILTER dirs EXCLUDE REGEX "\\.(tar|dsc|gz|xz)")
  if(NOT dirs)
    message(FATAL_ERROR "${package}'s source is not in ${CORVANE_SOURCES}; run "
      "${install_command}, or give -DCORVANE_SOURCES=DIR")
  endif()
  list(GET dirs 0 dir)
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

corvane_unpacked_source(corvane_pugixml_dir pugixml scripts/install-deps.sh)

add_library(corvane_pugixml STATIC ${corvane_pugixml_dir}/src/pugixml.cpp)
target_include_directories(corvane_pugixml SYSTEM PUBLIC ${corvane_pugixml_dir}/src)
target_compile_definitions(corvane_pugixml PUBLIC PUGIXML_COMPACT)
target_compile_options(corvane_pugixml PRIVATE -w)
set_target_properties(corvane_pugixml PROPERTIES POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden)
add_library(pugixml::pugixml ALIAS corvane_pugixml)
