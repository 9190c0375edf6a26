#!/usr/bin/env bash
# bench-arm64.sh [--check] [calls] [filter]: speed on the target, counted.
#
# Cross-builds libmira for aarch64 (clang --target=aarch64-linux-gnu, the NDK's
# compiler; MIRA_ARM64_COMPILER=gcc for the cross g++) and bench/arm64/mira_icount
# against libyuv and OpenCV imgproc from Debian's arm64 packages, runs it under
# qemu-aarch64 with an instruction-counting plugin (bench/arm64/icount_plugin.c,
# built against qemu-plugin.h from the source of the installed qemu-user) and
# prints per operation and frame: instructions per pixel of libmira and of each
# peer, the ratio to the best peer, and llvm-mca's cycles per pixel of the hot
# loops for Cortex-A55 and Neoverse-N2. One call is (N calls - 1 call)/(N - 1),
# one thread, the same frame for every library. `calls` is N (default 3);
# `filter` runs only operations whose name contains it.
#
# --check compares the ratios with bench/targets-arm64.txt and exits 1 when a
# row is over its target or worse than the ratio recorded there.
#
# The arm64 packages are never installed: they are downloaded with a private
# apt configuration (its own lists, status and architecture) and unpacked with
# dpkg -x into $MIRA_ARM64_BENCH_DIR/sysroot; the guests run with -L on it and
# LD_LIBRARY_PATH pinned to it. (Installed system-wide, multiarch arm64
# libraries are found by every qemu guest through the host's ld.so.cache.)
#
#   MIRA_ARM64_BENCH_DIR=dir   build, downloads and sysroot (default build-arm64-bench)
#   MIRA_HOST_BUILD=dir        host build whose Halide generator is used
#                              (default build-arm64-host, as scripts/cross-test.sh)
#   MIRA_HALIDE_GENERATOR=exe  or name the host generator directly
#   MIRA_ARM64_COMPILER=clang|gcc
#   MIRA_ARM64_LIB_BUILD=dir   the aarch64 library build (default <bench dir>/mira-<compiler>)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
check=0
if [ "${1:-}" = "--check" ]; then check=1; shift; fi
calls=${1:-3}
filter=${2:-}
dir=${MIRA_ARM64_BENCH_DIR:-$root/build-arm64-bench}
host=${MIRA_HOST_BUILD:-$root/build-arm64-host}
compiler=${MIRA_ARM64_COMPILER:-clang}
jobs=${MIRA_JOBS:-$(nproc)}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

# Host packages (amd64 only).
PACKAGES=(
  cmake make pkg-config clang g++ gcc llvm-14 xz-utils python3
  g++-aarch64-linux-gnu libc6-dev-arm64-cross binutils-aarch64-linux-gnu
  qemu-user libhalide14-0-dev libjpeg-dev libpng-dev opencl-headers
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ ${#missing[@]} -ne 0 ]; then
  echo "bench-arm64: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A private apt: arm64 only, its own lists and an empty status, so nothing it
# resolves or downloads touches the host's package state.
apt_dir=$dir/apt
sysroot=$dir/sysroot
APT_OPTS=(
  -o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o "Dir::Etc::sourceparts=-"
  -o "Dir::Etc::preferencesparts=$apt_dir/preferences.d"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::State::status=$apt_dir/status"
  -o "Dir::Cache=$apt_dir/cache" -o "Dir::Cache::archives=$apt_dir/archives"
  -o "APT::Architecture=arm64" -o "APT::Architectures::=arm64" -o "Debug::NoLocking=1"
)
if [ ! -f "$apt_dir/ready" ]; then
  mkdir -p "$apt_dir"/{lists/partial,archives/partial,cache,preferences.d,dev,src}
  : > "$apt_dir/status"
  cat > "$apt_dir/sources.list" <<'LIST'
deb http://deb.debian.org/debian bookworm main
deb http://deb.debian.org/debian bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian-security bookworm-security main
LIST
  apt-get "${APT_OPTS[@]}" update -q
  apt-get "${APT_OPTS[@]}" install --download-only -y -q --no-install-recommends \
    libyuv0 libopencv-imgproc406
  (cd "$apt_dir/dev" && apt-get "${APT_OPTS[@]}" download libyuv-dev libopencv-core-dev libopencv-imgproc-dev)
  touch "$apt_dir/ready"
fi
if [ ! -f "$sysroot/ready" ]; then
  rm -rf "$sysroot"; mkdir -p "$sysroot"
  for d in "$apt_dir"/archives/*.deb "$apt_dir"/dev/*.deb; do dpkg -x "$d" "$sysroot"; done
  # The alternatives dpkg would set up for OpenCV's BLAS and LAPACK.
  lib=$sysroot/usr/lib/aarch64-linux-gnu
  ln -sf blas/libblas.so.3 "$lib/libblas.so.3"
  ln -sf lapack/liblapack.so.3 "$lib/liblapack.so.3"
  touch "$sysroot/ready"
fi

# The counting plugin, against the header of the installed qemu's own source.
qver=$(dpkg-query -W -f='${source:Version}' qemu-user)
plugin=$dir/plugin/libicount.so
header=$(find "$apt_dir/src" -path '*/include/qemu/qemu-plugin.h' 2>/dev/null | head -1)
if [ -z "$header" ]; then
  (cd "$apt_dir/src" && apt-get "${APT_OPTS[@]}" source --download-only -q "qemu=$qver")
  orig=$(ls "$apt_dir"/src/qemu_*.orig.tar.* | head -1)
  tar -xf "$orig" -C "$apt_dir/src" --wildcards '*/include/qemu/qemu-plugin.h'
  header=$(find "$apt_dir/src" -path '*/include/qemu/qemu-plugin.h' | head -1)
fi
mkdir -p "$dir/plugin"
if [ ! -f "$plugin" ] || [ "$root/bench/arm64/icount_plugin.c" -nt "$plugin" ]; then
  gcc -shared -fPIC -O2 -Wall -Wextra -I"$(dirname "$header")" \
    "$root/bench/arm64/icount_plugin.c" -o "$plugin"
fi

# libmira for aarch64, with pipelines generated by a host generator.
gen=${MIRA_HALIDE_GENERATOR:-}
if [ -z "$gen" ]; then
  if [ ! -f "$host/CMakeCache.txt" ]; then
    CC=${HOST_CC:-clang} CXX=${HOST_CXX:-clang++} \
      cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=Release \
            -DMIRA_BUILD_TESTS=OFF -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF
  fi
  cmake --build "$host" --target mira_pipeline_generator -j "$jobs"
  gen=$(find "$host" -maxdepth 3 -type f -name mira_pipeline_generator -perm -u+x | head -1)
fi
lib_build=${MIRA_ARM64_LIB_BUILD:-$dir/mira-$compiler}
if [ ! -f "$lib_build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$lib_build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake" \
        -DMIRA_CROSS_COMPILER="$compiler" -DMIRA_HALIDE_GENERATOR="$gen" \
        -DMIRA_BUILD_TESTS=OFF -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF
fi
cmake --build "$lib_build" --target mira -j "$jobs"
libdir=$(dirname "$(find "$lib_build" -maxdepth 2 -name libmira.so | head -1)")

# The benchmark program, same compiler, linked against the sysroot's peers.
lib=$sysroot/usr/lib/aarch64-linux-gnu
if [ "$compiler" = clang ]; then cxx=(clang++ --target=aarch64-linux-gnu); else cxx=(aarch64-linux-gnu-g++); fi
prog=$dir/mira_icount-$compiler
if [ ! -x "$prog" ] || [ "$root/bench/arm64/mira_icount.cpp" -nt "$prog" ] || [ "$libdir/libmira.so" -nt "$prog" ]; then
  "${cxx[@]}" -std=c++17 -O2 -Wall -Wextra -I"$root/include" -I"$sysroot/usr/include" \
    -I"$sysroot/usr/include/opencv4" -I"$sysroot/usr/include/aarch64-linux-gnu/opencv4" \
    "$root/bench/arm64/mira_icount.cpp" -L"$libdir" -lmira -L"$lib" -lyuv -lopencv_imgproc \
    -lopencv_core -Wl,-rpath,"$libdir" -Wl,-rpath-link,"$lib:$sysroot/lib/aarch64-linux-gnu" \
    -o "$prog"
fi

# Run: Cortex-A76-class guest (ARMv8.2, what current phones' big cores run),
# one thread, libraries only from the private sysroot.
out=$dir/run; mkdir -p "$out"
echo "bench-arm64: counting under qemu-aarch64 ($calls calls per case)..." >&2
qemu-aarch64 -cpu cortex-a76 -L "$sysroot" \
  -E LD_LIBRARY_PATH=/lib/aarch64-linux-gnu:/usr/lib/aarch64-linux-gnu \
  -E HL_NUM_THREADS=1 -E OMP_NUM_THREADS=1 \
  -plugin "$plugin,out=$out/marks.txt" "$prog" "$calls" "$filter" > "$out/cases.txt"

python3 "$root/scripts/bench_arm64_report.py" --calls "$calls" --cases "$out/cases.txt" \
  --marks "$out/marks.txt" --objdump aarch64-linux-gnu-objdump --nm aarch64-linux-gnu-nm \
  --mca llvm-mca-14 --targets "$root/bench/targets-arm64.txt" $([ $check = 1 ] && echo --check)
