# Toolchain for the Windows build: 64-bit Windows programs made with
# MinGW-w64 (GCC with POSIX threads) on a Linux host, run there under Wine.
#
#   cmake -S . -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# Debian packages: g++-mingw-w64-x86-64-posix (compilers, windres through
# binutils-mingw-w64-x86-64), wine and wine64 (to run the tests).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CUECARRY_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${CUECARRY_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CUECARRY_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${CUECARRY_MINGW_TRIPLET}-windres)

# Headers, libraries and packages come from the MinGW-w64 tree only; build
# tools (programs) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${CUECARRY_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Built programs (tests, try_run) run under Wine. On Debian `wine` is a
# wrapper that starts the 64-bit loader (/usr/lib/wine/wine64) when the
# 32-bit one is not installed; with WINEDEBUG=-all it says nothing about that.
# Without Wine the build still works; only running the programs needs it.
find_program(CUECARRY_WINE NAMES wine wine64 PATHS /usr/lib/wine
             DOC "Wine, which runs the built Windows programs")
if(CUECARRY_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CUECARRY_WINE})
endif()
