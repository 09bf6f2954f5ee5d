# Cross-building for 64-bit Windows with Debian's MinGW-w64 compilers, the -posix variants
# (C++ threads, as the Qt for Windows they link against was built with).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DCMAKE_PREFIX_PATH=<Qt for Windows>/prefix -DQT_HOST_PATH=/usr \
#         -DQt6HostInfo_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo
# Programs and tests run on the build machine through wine (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(palmota_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${palmota_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${palmota_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${palmota_mingw}-windres)

# Libraries and headers come from the MinGW root only; packages may also come from the
# prefixes given on the command line (Qt for Windows lives outside that root), and
# programs are the build machine's own (the Qt host tools, moc and rcc, are Linux ones).
set(CMAKE_FIND_ROOT_PATH /usr/${palmota_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# wine runs the tests; it finds the DLLs through WINEPATH (see scripts/check windows).
find_program(PALMOTA_WINE NAMES wine64 wine)
if(PALMOTA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PALMOTA_WINE})
endif()
