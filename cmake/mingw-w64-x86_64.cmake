# Cross-compiling Pimu for 64-bit Windows on Debian with mingw-w64 (g++-mingw-w64-x86-64-posix:
# the posix thread model, which has std::thread). Programs are linked statically, so pimu.exe
# needs no DLL beside the system's own.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PIMU_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PIMU_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PIMU_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PIMU_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PIMU_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
