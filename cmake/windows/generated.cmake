# The Windows binding's generated sources, all from the class table and the
# contract headers: the type library's IDL (compiled to Corvane.tlb, and to
# Corvane.h for C++), the resource script with the _IID_ resource bytes, and the
# automation layer's late-binding adapters. In CORVANE_GENERATED_DIR, made by
# the target corvane_windows_generated.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(CORVANE_WIDL_PROGRAM NAMES ${CORVANE_WIDL} widl REQUIRED)
# widl finds oaidl.idl among Wine's headers and stdole2.tlb among Wine's libraries.
set(CORVANE_WIDL_INCLUDE /usr/include/wine/wine/windows CACHE PATH "Where oaidl.idl is")
set(CORVANE_WIDL_LIBRARY_PATH /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH
  "Where stdole2.tlb is")

set(CORVANE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated/windows)
set(generated ${CORVANE_GENERATED_DIR})
set(generator ${CMAKE_SOURCE_DIR}/scripts/generate-windows-binding.py)
add_custom_command(
  OUTPUT ${generated}/Corvane.idl ${generated}/Corvane.rc ${generated}/automation_adapters.cc
  COMMAND Python3::Interpreter ${generator} ${generated}
  DEPENDS ${generator} ${CMAKE_SOURCE_DIR}/scripts/generate-host-bases.py
    ${CMAKE_SOURCE_DIR}/include/corvane/catalogue.h ${CMAKE_SOURCE_DIR}/include/pelmark/host.h
    ${CMAKE_SOURCE_DIR}/include/pelmark/dms.h ${CMAKE_SOURCE_DIR}/include/corvane/design.h
  COMMENT "Generating the type library source and the late-binding adapters")

# widl writes one output per call, for the target's pointer size.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(widl ${CORVANE_WIDL_PROGRAM} --win32 -I${CORVANE_WIDL_INCLUDE})
else()
  set(widl ${CORVANE_WIDL_PROGRAM} --win64 -I${CORVANE_WIDL_INCLUDE})
endif()
add_custom_command(OUTPUT ${generated}/Corvane.tlb
  COMMAND ${widl} -L${CORVANE_WIDL_LIBRARY_PATH} -t -o ${generated}/Corvane.tlb
    ${generated}/Corvane.idl
  DEPENDS ${generated}/Corvane.idl COMMENT "Compiling the type library")
add_custom_command(OUTPUT ${generated}/Corvane.h
  COMMAND ${widl} -h -o ${generated}/Corvane.h ${generated}/Corvane.idl
  DEPENDS ${generated}/Corvane.idl COMMENT "Writing the type library's C++ header")
add_custom_target(corvane_windows_generated DEPENDS ${generated}/Corvane.tlb ${generated}/Corvane.h
  ${generated}/Corvane.rc ${generated}/automation_adapters.cc)
