# Cross build for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
#
# The compilers of the posix thread model are chosen because the win32 model of GCC 12 has no
# std::mutex or std::thread. Everything the runtime needs (libgcc, libstdc++, winpthread) is
# linked statically, so the DLLs and programs need no MinGW DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TYDB_MINGW_PREFIX i686-w64-mingw32)
find_program(TYDB_MINGW_CXX NAMES ${TYDB_MINGW_PREFIX}-g++-posix ${TYDB_MINGW_PREFIX}-g++ REQUIRED)
find_program(TYDB_MINGW_CC NAMES ${TYDB_MINGW_PREFIX}-gcc-posix ${TYDB_MINGW_PREFIX}-gcc REQUIRED)
set(CMAKE_C_COMPILER ${TYDB_MINGW_CC})
set(CMAKE_CXX_COMPILER ${TYDB_MINGW_CXX})
set(CMAKE_RC_COMPILER ${TYDB_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TYDB_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
