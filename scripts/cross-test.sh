#!/usr/bin/env bash
# cross-test.sh [build-dir]: the AArch64 leg of the test suite.
#
# Installs what is missing (Debian's aarch64 cross toolchain, qemu's user-mode
# emulator, GoogleTest's sources, Halide), builds the Halide generators for the
# host, cross-compiles the library and the test programs for aarch64-linux-gnu
# once (no benchmarks, no tools) and runs the whole suite under qemu-aarch64,
# in parallel. OpenCL is absent under the emulator, so the GPU paths take their
# no-device behaviour there.
#
#   build-dir             default build-arm64
#   MIRA_HOST_BUILD=dir   host build whose Halide generators are used
#                         (default build-arm64-host, configured here if needed;
#                         scripts/test.sh passes its release build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-arm64}
host=${MIRA_HOST_BUILD:-$root/build-arm64-host}
jobs=$(nproc)

PACKAGES=(
  cmake make pkg-config clang g++
  g++-aarch64-linux-gnu libc6-dev-arm64-cross binutils-aarch64-linux-gnu
  qemu-user googletest opencl-headers libhalide14-0-dev
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "cross-test: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

start=$(date +%s)
cross_opts=()
# The pipelines are generated for the target by generators built for the host.
if [ -f "$root/cmake/MiraHalide.cmake" ]; then
  if [ ! -f "$host/CMakeCache.txt" ]; then
    CC=${HOST_CC:-clang} CXX=${HOST_CXX:-clang++} \
      cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=Release \
            -DMIRA_BUILD_TESTS=OFF -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF
  fi
  cmake --build "$host" --target mira_pipeline_generator -j "$jobs"
  gen=$(find "$host" -maxdepth 3 -type f -name mira_pipeline_generator -perm -u+x | head -1)
  [ -n "$gen" ] || { echo "cross-test: no mira_pipeline_generator in $host" >&2; exit 1; }
  cross_opts+=("-DMIRA_HALIDE_GENERATOR=$gen")
fi

if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake" \
        -DMIRA_BUILD_TESTS=ON -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF \
        "${cross_opts[@]}"
fi
cmake --build "$dir" -j "$jobs"
built=$(date +%s)
echo "cross-test: generators and aarch64 build took $((built - start)) s"

status=0
echo "== aarch64 suite (qemu-aarch64)"
ctest --test-dir "$dir" -j "$jobs" --output-on-failure || status=1
echo "cross-test: aarch64 suite took $(($(date +%s) - built)) s"
exit $status
