#!/usr/bin/env bash
# cross-test.sh [build-dir]: the AArch64 leg of the test suite.
#
# Installs what is missing (Debian's aarch64 cross toolchain, qemu's user-mode
# emulator, GoogleTest's sources, Halide), builds the Halide generators for the
# host, cross-compiles the library and the test programs for aarch64-linux-gnu
# once (no benchmarks, no tools) and runs the whole suite under qemu-aarch64,
# in parallel. OpenCL is absent under the emulator, so the GPU paths take their
# no-device behaviour there. Every guest is pinned to the cross toolchain's
# libraries (-L and LD_LIBRARY_PATH, see cmake/toolchain-aarch64-linux-gnu.cmake),
# so arm64 packages installed on the host do not slow the leg down.
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
  qemu-user googletest opencl-headers libhalide14-0-dev libjpeg-dev libpng-dev
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
# The host library itself is built too: the digests below compare the two.
if [ ! -f "$host/CMakeCache.txt" ]; then
  CC=${HOST_CC:-clang} CXX=${HOST_CXX:-clang++} \
    cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=Release \
          -DMIRA_BUILD_TESTS=OFF -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF
else
  cmake -S "$root" -B "$host" >/dev/null   # picks up CMake files added since
fi
if [ -f "$root/cmake/MiraHalide.cmake" ]; then
  cmake --build "$host" --target mira_pipeline_generator mira -j "$jobs"
  gen=$(find "$host" -maxdepth 3 -type f -name mira_pipeline_generator -perm -u+x | head -1)
  [ -n "$gen" ] || { echo "cross-test: no mira_pipeline_generator in $host" >&2; exit 1; }
  cross_opts+=("-DMIRA_HALIDE_GENERATOR=$gen")
else
  cmake --build "$host" --target mira -j "$jobs"
fi

if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake" \
        -DMIRA_BUILD_TESTS=ON -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF \
        "${cross_opts[@]}"
else
  cmake -S "$root" -B "$dir" "${cross_opts[@]}" >/dev/null
fi
cmake --build "$dir" -j "$jobs"
built=$(date +%s)
echo "cross-test: generators and aarch64 build took $((built - start)) s"

status=0
echo "== aarch64 suite (qemu-aarch64)"
ctest --test-dir "$dir" -j "$jobs" --output-on-failure || status=1
echo "cross-test: aarch64 suite took $(($(date +%s) - built)) s"

# Every operation on fixed inputs, digested on both architectures (OpenCL kept
# out on the host, so GPU requests run the kernels' CPU twins): every result,
# integer or floating point, must agree bit for bit, and on the host with
# every compiled pipeline version this processor can run (MIRA_PIPELINE_VERSION).
echo "== x86-64 / aarch64 digests"
dg="$dir/arch-digest"; mkdir -p "$dg"
hostlib=$(dirname "$(find "$host" -maxdepth 2 -name libmira.so | head -1)")
armlib=$(dirname "$(find "$dir" -maxdepth 2 -name libmira.so | head -1)")
${HOST_CXX:-clang++} -std=c++17 -O2 -Wall -Wextra -I"$root/include" "$root/tests/arch_digest.cpp" \
  -L"$hostlib" -lmira -Wl,-rpath,"$hostlib" -o "$dg/digest-host"
aarch64-linux-gnu-g++ -std=c++17 -O2 -Wall -Wextra -I"$root/include" "$root/tests/arch_digest.cpp" \
  -L"$armlib" -lmira -Wl,-rpath,"$armlib" -o "$dg/digest-arm64"
OCL_ICD_VENDORS=/nonexistent "$dg/digest-host" "$dg/host.txt" >/dev/null
qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib "$dg/digest-arm64" "$dg/arm64.txt" >/dev/null
for v in 0 1 2 3; do
  MIRA_PIPELINE_VERSION=$v OCL_ICD_VENDORS=/nonexistent "$dg/digest-host" "$dg/host-v$v.txt" >/dev/null
  if ! cmp -s "$dg/host.txt" "$dg/host-v$v.txt"; then
    echo "pipeline version $v gives other bytes than the default version on this host:"
    diff "$dg/host.txt" "$dg/host-v$v.txt" | grep '^>' | awk '{print "  " $3 " " $4}' | head -20
    status=1
  fi
done
echo "host pipeline versions 0-3 (each where this processor runs it): same digests"
exact_diff=$(diff <(grep '^exact ' "$dg/host.txt") <(grep '^exact ' "$dg/arm64.txt") || true)
float_diff=$(diff <(grep '^float ' "$dg/host.txt") <(grep '^float ' "$dg/arm64.txt") | grep '^>' || true)
n_exact=$(grep -c '^exact ' "$dg/host.txt" || true)
n_float=$(grep -c '^float ' "$dg/host.txt" || true)
if [ -n "$exact_diff" ] || [ "$n_exact" -eq 0 ]; then
  echo "integer-exact results differ between x86-64 and aarch64:"
  echo "$exact_diff"
  status=1
else
  echo "integer-exact results: $n_exact digests, bit-identical on x86-64 and aarch64"
fi
if [ -n "$float_diff" ] || [ "$n_float" -eq 0 ]; then
  echo "floating-point results that differ on aarch64 ($(wc -l <<<"$float_diff") of $n_float):"
  awk '{print "  " $3 " " $4}' <<<"$float_diff"
  status=1
else
  echo "floating-point results: $n_float digests, bit-identical on x86-64 and aarch64"
fi
exit $status
