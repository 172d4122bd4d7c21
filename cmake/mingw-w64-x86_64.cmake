# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix thread model, which
# std::thread and std::mutex need), as tools/build-windows.sh does.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VPAK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VPAK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VPAK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VPAK_MINGW_TRIPLET}-windres)

# Libraries and headers come from the mingw tree only; programs (help2man, gzip) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VPAK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs run alone on a Windows machine: the compiler's runtime (libstdc++, libgcc,
# winpthread) is linked in, and zlib is found as its static archive.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)

# Windows runs the test programs through Wine when ctest runs them here.
find_program(VPAK_WINE NAMES wine wine64)
if(VPAK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VPAK_WINE})
endif()
