#!/usr/bin/env bash
# Cross-builds pimu.exe for 64-bit Windows with mingw-w64 (see mingw-w64-x86_64.cmake).
#   cmake/build-windows.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
dir=$2
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DPIMU_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target pimu
echo "built $dir/src/cli/pimu.exe"
