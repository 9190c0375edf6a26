#!/usr/bin/env bash
# default_compiler.sh <source-dir>: a plain configure that names no compiler
# picks clang (the faster compiler for the NEON emulation) when it is
# installed, and CXX=g++ still gives g++.
set -euo pipefail
src="$1"
command -v clang++ >/dev/null || { echo "no clang++ installed: nothing to check"; exit 0; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
opts=(-DMIRA_BUILD_TESTS=OFF -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF)
env -u CC -u CXX -u CMAKE_CXX_COMPILER_LAUNCHER cmake -S "$src" -B "$work/plain" "${opts[@]}" >/dev/null

compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER_ID "\(.*\)")/\1/p' "$work/plain/CMakeFiles/"*/CMakeCXXCompiler.cmake)
[ "$compiler" = Clang ] || { echo "plain configure chose $compiler, expected Clang"; exit 1; }
if command -v g++ >/dev/null; then
  CXX=g++ CC=gcc cmake -S "$src" -B "$work/gcc" "${opts[@]}" >/dev/null
  compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER_ID "\(.*\)")/\1/p' "$work/gcc/CMakeFiles/"*/CMakeCXXCompiler.cmake)
  [ "$compiler" = GNU ] || { echo "CXX=g++ configure chose $compiler, expected GNU"; exit 1; }
fi
echo "default compiler ok"
