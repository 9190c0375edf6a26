#!/usr/bin/env bash
# build.sh <build-dir> [cmake options...]: configure and build. Options apply
# to an existing build directory too (it is configured again with them); a new
# one is a Release build with clang unless CC/CXX or the options say otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$1"; shift
if [ ! -f "$dir/CMakeCache.txt" ]; then
  export CC=${CC:-clang} CXX=${CXX:-clang++}
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@"
elif [ $# -gt 0 ]; then
  cmake -S "$root" -B "$dir" "$@"
fi
cmake --build "$dir" -j "$(nproc)"
