#!/bin/bash
# build.sh ARCH...: configures and builds build/ARCH (i686, x86_64).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
for arch in "$@"; do
  dir=${ZUL_BUILD_ROOT:-$top/build}/$arch
  [ -f "$dir/build.ninja" ] || cmake -S "$top" -B "$dir" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DZUL_TEST_WHOLE_PROGRAMS=$([ "$arch" = i686 ] && echo ON || echo OFF) >/dev/null
  cmake --build "$dir" -j"$(nproc)"
done
