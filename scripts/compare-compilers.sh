#!/usr/bin/env bash
# compare-compilers.sh [runs] [filter] [build-a] [build-b]: runs the CPU
# benchmark rows (`/mira/`) of two builds `runs` times each (default 3), the
# two in alternation so that other load on the machine falls on both alike,
# and prints per row the fastest time of each and their ratio (b / a). Rows
# where b is more than 1.2 times a are marked and make the exit status 1.
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
      --benchmark_format=json --benchmark_out="$out/$side$i.json" >/dev/null 2>&1
  done
done
python3 - "$a" "$b" "$out" "$runs" <<'PY'
import collections, glob, json, os, sys
a_dir, b_dir, out, runs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
unit = {'ns': 1e-3, 'us': 1.0, 'ms': 1e3, 's': 1e6}

def fastest(side):
    best = collections.defaultdict(lambda: float('inf'))
    for path in glob.glob(os.path.join(out, side + '*.json')):
        for r in json.load(open(path))['benchmarks']:
            if r.get('run_type') != 'iteration' or r.get('error_occurred'):
                continue
            name = r['name'].replace('/real_time', '')
            best[name] = min(best[name], r['real_time'] * unit[r['time_unit']])
    return best

def compiler(d):
    try:
        for line in open(os.path.join(d, 'CMakeCache.txt')):
            if line.startswith('CMAKE_CXX_COMPILER:'):
                return os.path.basename(line.split('=', 1)[1].strip())
    except OSError:
        pass
    return os.path.basename(d.rstrip('/'))

ta, tb = fastest('a'), fastest('b')
ca, cb = compiler(a_dir), compiler(b_dir)
print(f"fastest of {runs} runs each; a = {a_dir} ({ca}), b = {b_dir} ({cb})")
print(f"{'row':44s} {'a (us)':>10s} {'b (us)':>10s} {'b / a':>6s}")
over = []
for name in sorted(set(ta) & set(tb)):
    r = tb[name] / ta[name]
    flag = '  OVER' if r > 1.2 else ''
    print(f"{name:44s} {ta[name]:10.1f} {tb[name]:10.1f} {r:6.2f}{flag}")
    if r > 1.2:
        over.append(name)
missing = sorted(set(ta) ^ set(tb))
if missing:
    print("rows in only one build: " + ', '.join(missing))
print(f"{len(over)} row(s) over 1.2" + (": " + ', '.join(over) if over else ""))
sys.exit(1 if over else 0)
PY
