#!/usr/bin/env bash
# Installs the built library into a scratch prefix and builds a tiny consumer
# against it twice: through find_package(mira) and through pkg-config.
set -euo pipefail
src="$1"; build="$2"; cxx="$3"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
# The prefix is chosen at install time (the build was configured for another),
# and the installed tree is then moved: mira.pc and the CMake package must
# find the headers and library wherever they are.
cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/prefix"
mkdir -p "$work/consumer"
cat > "$work/consumer/main.cpp" <<'CPP'
#include <mira/mira.h>
#include <cstdio>
int main() {
    unsigned char in[6] = {1, 2, 3, 4, 5, 6}, out[6] = {0};
    ncvTransposeu8(in, 3, 2, 3, out, 2);
    const unsigned char want[6] = {1, 4, 2, 5, 3, 6};
    for (int i = 0; i < 6; ++i) if (out[i] != want[i]) { std::puts("wrong"); return 1; }
    std::puts("consumer ok");
    return 0;
}
CPP
cat > "$work/consumer/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.16)
project(consumer CXX)
find_package(mira REQUIRED)
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE mira::mira)
CM
# Cross builds: MIRA_TEST_TOOLCHAIN names the toolchain file, MIRA_TEST_EMULATOR
# the command that runs target programs.
run=${MIRA_TEST_EMULATOR:-}
# Runs a consumer with `dir` searched for libmira. Under the emulator the
# guest's library path is the one its -E option pins (the cross toolchain's
# libraries); a later -E for the same variable replaces it, so it is kept.
run_with_libs() {
  local dir="$1"; shift
  if [ -n "$run" ]; then
    local pinned
    pinned=$(grep -o 'LD_LIBRARY_PATH=[^ ]*' <<<"$run" | head -1 | cut -d= -f2- || true)
    $run -E "LD_LIBRARY_PATH=$dir${pinned:+:$pinned}" "$@"
  else
    LD_LIBRARY_PATH="$dir" "$@"
  fi
}
cmake -S "$work/consumer" -B "$work/cbuild" -DCMAKE_PREFIX_PATH="$work/prefix" \
      ${MIRA_TEST_TOOLCHAIN:+-DCMAKE_TOOLCHAIN_FILE="$MIRA_TEST_TOOLCHAIN"} \
      -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/cbuild" >/dev/null
run_with_libs "$work/prefix/lib:$work/prefix/lib/x86_64-linux-gnu" "$work/cbuild/consumer"
# pkg-config route
pcdir=$(dirname "$(find "$work/prefix" -name mira.pc | head -1)")
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs mira)
incdir=$(PKG_CONFIG_PATH="$pcdir" pkg-config --variable=includedir mira)
test -f "$incdir/mira/mira.h" || { echo "pkg-config includedir $incdir has no mira/mira.h"; exit 1; }
"$cxx" -o "$work/consumer_pc" "$work/consumer/main.cpp" $flags
run_with_libs "$(dirname "$(find "$work/prefix" -name 'libmira.so' | head -1)")" "$work/consumer_pc"
# versioned soname
soname=$(readelf -d "$(find "$work/prefix" -name 'libmira.so' | head -1)" | grep SONAME)
echo "$soname"
grep -q 'libmira.so.1' <<<"$soname"
