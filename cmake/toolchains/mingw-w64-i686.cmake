# Cross-builds the Windows 32-bit binding (Corvane.dll for x86) with Debian's
# mingw-w64. Only the DLL is meant to be built with it: Wine here runs x64
# programs only, so nothing 32-bit is run.
#
#   cmake -S . -B build-windows-x86 -G Ninja -DBUILD_TESTING=OFF \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake \
#     -DCMAKE_BUILD_TYPE=RelWithDebInfo
#   cmake --build build-windows-x86 --target CorvaneDll
#
# As for x64, everything is linked statically and the win32 thread model is used.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CORVANE_MINGW_TRIPLE i686-w64-mingw32)

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
