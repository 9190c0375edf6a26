#!/usr/bin/env bash
# compare-compilers.sh [runs] [filter] [build-a] [build-b]: runs the CPU
# benchmark rows (`/mira/`) of two builds `runs` times each (default 3), the
# two in alternation so that other load on the machine falls on both alike,
# and prints per row the fastest real and CPU time of each and their ratios
# (b / a). Rows where b is more than 1.2 times a in both are marked OVER and
# make the exit status 1.
# Each run repeats every row MIRA_BENCH_REPS times (default 3); the fastest
# of all runs and repetitions counts.
#
# Defaults: build-a is build/ (clang, scripts/build.sh), build-b build-gcc/,
# e.g. made with
#   CC=gcc CXX=g++ cmake -S . -B build-gcc -DCMAKE_BUILD_TYPE=Release -DMIRA_BUILD_BENCH=ON
#   cmake --build build-gcc --target mira_bench
# A tool for people (timings on a shared machine are noisy), not a test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
filter=${2:-'^[a-z_0-9.:]+/mira/'}
a=${3:-$root/build}
b=${4:-$root/build-gcc}
reps=${MIRA_BENCH_REPS:-3}
for d in "$a" "$b"; do
  if [ ! -x "$d/bench/mira_bench" ]; then
    echo "compare-compilers.sh: $d/bench/mira_bench is missing (build with -DMIRA_BUILD_BENCH=ON)" >&2
    exit 2
  fi
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for i in $(seq "$runs"); do
  for side in a b; do
    [ "$side" = a ] && dir=$a || dir=$b
    "$dir/bench/mira_bench" --benchmark_filter="$filter" --benchmark_min_time=0.2 \
      --benchmark_repetitions="$reps" --benchmark_format=json --benchmark_out="$out/$side$i.json" >/dev/null 2>&1
  done
done
python3 - "$a" "$b" "$out" "$runs" "$reps" <<'PY'
import collections, glob, json, os, sys
a_dir, b_dir, out, runs, reps = sys.argv[1:6]
unit = {'ns': 1e-3, 'us': 1.0, 'ms': 1e3, 's': 1e6}

# Fastest real (wall) and CPU time of the timing thread per row. On a loaded
# machine the wall time of a single-threaded row mostly measures the
# scheduler; its CPU time does not. Multi-threaded rows (the warps, the
# parallel pipelines) do part of their work on other threads, which CPU time
# does not see.
def fastest(side):
    real = collections.defaultdict(lambda: float('inf'))
    cpu = collections.defaultdict(lambda: float('inf'))
    for path in glob.glob(os.path.join(out, side + '*.json')):
        for r in json.load(open(path))['benchmarks']:
            if r.get('run_type') != 'iteration' or r.get('error_occurred'):
                continue
            name = r['name'].replace('/real_time', '')
            real[name] = min(real[name], r['real_time'] * unit[r['time_unit']])
            cpu[name] = min(cpu[name], r['cpu_time'] * unit[r['time_unit']])
    return real, cpu

def compiler(d):
    try:
        for line in open(os.path.join(d, 'CMakeCache.txt')):
            if line.startswith('CMAKE_CXX_COMPILER:'):
                return os.path.basename(line.split('=', 1)[1].strip())
    except OSError:
        pass
    return os.path.basename(d.rstrip('/'))

(ra, ca), (rb, cb) = fastest('a'), fastest('b')
print(f"fastest of {runs} runs x {reps} repetitions each; "
      f"a = {a_dir} ({compiler(a_dir)}), b = {b_dir} ({compiler(b_dir)})")
print(f"{'row':44s} {'a real':>9s} {'b real':>9s} {'b/a':>5s}  {'a cpu':>9s} {'b cpu':>9s} {'b/a':>5s}")
over = []
for name in sorted(set(ra) & set(rb)):
    r, c = rb[name] / ra[name], cb[name] / ca[name]
    flag = '  OVER' if r > 1.2 and c > 1.2 else ('  (real only)' if r > 1.2 else '')
    print(f"{name:44s} {ra[name]:9.1f} {rb[name]:9.1f} {r:5.2f}  {ca[name]:9.1f} {cb[name]:9.1f} {c:5.2f}{flag}")
    if r > 1.2 and c > 1.2:
        over.append(name)
missing = sorted(set(ra) ^ set(rb))
if missing:
    print("rows in only one build: " + ', '.join(missing))
print(f"{len(over)} row(s) over 1.2 in both real and CPU time" + (": " + ', '.join(over) if over else ""))
sys.exit(1 if over else 0)
PY
