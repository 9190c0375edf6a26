#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build-fuzz and runs each
# for a bounded time, starting from the seed corpus in fuzz/corpus/<target>.
#
#   scripts/fuzz.sh                    every target, MIRA_FUZZ_SECONDS each (default 50)
#   scripts/fuzz.sh fuzz_scaling 30    one target for 30 seconds
#
# Fails when a target crashes, hangs (> 1 s for one input), leaks or reports a
# sanitizer error; the offending input is kept in build-fuzz/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

# Packages: the project's own, plus libFuzzer's runtime and the symbolizer.
"$root/scripts/setup.sh"
need=()
for p in clang libclang-rt-14-dev llvm-14; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${need[@]}"
fi

all_targets=(fuzz_geometry_colour fuzz_filters fuzz_scaling fuzz_manager fuzz_lifecycle)
if [ $# -ge 1 ]; then targets=("$1"); else targets=("${all_targets[@]}"); fi
seconds=${2:-${MIRA_FUZZ_SECONDS:-50}}
jobs=$(nproc); [ "$jobs" -gt 2 ] && jobs=2

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DMIRA_SANITIZE=ON -DMIRA_BUILD_FUZZ=ON -DMIRA_BUILD_TESTS=OFF \
    -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF
fi
nice -n 10 cmake --build "$build" -j "$jobs" --target "${targets[@]}"

symbolizer=$(command -v llvm-symbolizer || command -v llvm-symbolizer-14 || true)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1${symbolizer:+:external_symbolizer_path=$symbolizer}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The OpenCL implementation keeps compiler state for the life of the process.
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"

mkdir -p "$build/artifacts" "$build/logs"
status=0
summary=()
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  mkdir -p "$work"
  seeds="$root/fuzz/corpus/$t"
  [ -d "$seeds" ] || seeds=""
  log="$build/logs/$t.log"
  echo "== $t: ${seconds}s"
  # stdout is closed (-close_fd_mask=1): the GPU runtime logs every failure
  # there, which would drown the report.
  if nice -n 10 "$build/fuzz/$t" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2560 \
       -max_len=512 -close_fd_mask=1 -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$t-" "$work" $seeds >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 60 "$log"
  fi
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*' || echo "?")
  line=$(printf '%-22s %-6s executions %-9s (%s/s) edges %s' "$t" "$result" "$execs" "$rate" "$cov")
  echo "$line"
  summary+=("$line")
done
echo "== fuzz summary"
printf '%s\n' "${summary[@]}"
exit $status
