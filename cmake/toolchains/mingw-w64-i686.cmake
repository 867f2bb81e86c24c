# Cross-builds the Windows 32-bit binding (Corvane.dll for x86) with Debian's
# mingw-w64. Only the DLL is meant to be built with it: Wine here runs x64
# programs only, so nothing 32-bit is run.
#
#   cmake -S . -B build-windows-x86 -G Ninja -DBUILD_TESTING=OFF \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake \
#     -DCMAKE_BUILD_TYPE=RelWithDebInfo
#   cmake --build build-windows-x86 --target CorvaneDll
#
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CORVANE_MINGW_TRIPLE i686-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
