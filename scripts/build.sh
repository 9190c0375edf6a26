#!/usr/bin/env bash
# build.sh <build-dir> [cmake options...]: configure (once) and build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$1"; shift
export CC=${CC:-clang} CXX=${CXX:-clang++}
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@"
fi
cmake --build "$dir" -j "$(nproc)"
