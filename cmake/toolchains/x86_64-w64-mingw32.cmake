# Cross-compiling for Windows x64 with MinGW-w64 (posix threads, for std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BW_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BW_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BW_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BW_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Win64 GCC does not realign the stack for 32-byte spills in the AVX2 code,
# so aligned vector moves to the stack would fault: the assembler writes
# unaligned moves instead (binutils 2.38 or newer).
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# Every binary carries its own C++, GCC and thread runtimes, so that it needs
# only Windows' own DLLs.
set(BW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${BW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${BW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${BW_STATIC_RUNTIME}")

# Tests and tools run under wine on the build machine.
find_program(BW_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(BW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BW_WINE})
endif()
