# What the mingw-w64 toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR and
# CORVANE_MINGW_TRIPLE first.
#
# Everything is linked statically (-static), so the DLL and the test programs
# need no compiler run-time DLLs beside them; the win32 thread model suffices
# since the library starts no threads.
set(CMAKE_C_COMPILER ${CORVANE_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_TRIPLE}-windres)
set(CORVANE_WIDL ${CORVANE_MINGW_TRIPLE}-widl CACHE STRING "The IDL compiler for the type library")

set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
