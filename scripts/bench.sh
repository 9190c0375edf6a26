#!/usr/bin/env bash
# bench.sh [runs] [filter] [build-dir]: runs the benchmarks `runs` times
# (default 3) and prints, per operation and size, the fastest of our times
# and its ratio to each peer's fastest time. The minimum over several runs
# keeps other load on the machine out of the ratios.
#
# bench.sh --check [runs] [build-dir]: runs only the rows that carry a speed
# target (bench/targets.txt), `runs` times each (default 5), and lists every
# row with its measured ratio and target; rows over their target are listed
# again at the end and make the exit status 1. A tool for people: timings on
# a shared machine are noisy, so it is not part of the test suite.
#
# The GPU rows run on whatever OpenCL device exists (MIRA_OPENCL_DEVICE=any:
# PoCL's CPU device on a host without a GPU). Run with MIRA_OPENCL_DEVICE=
# (empty) to measure what a plain host gets: GPU-only device choice, so
# without a GPU the GPU rows run the CPU methods.
set -euo pipefail
export MIRA_OPENCL_DEVICE=${MIRA_OPENCL_DEVICE-any}
root=$(cd "$(dirname "$0")/.." && pwd)
check=0
if [ "${1:-}" = "--check" ]; then
  check=1; shift
  runs=${1:-5}
  build=${2:-$root/build}
  ops=$(grep -v -E '^\s*(#|$)' "$root/bench/targets.txt" | awk '{print $1}' | sort -u |
        sed 's/[.]/[.]/g' | paste -sd'|')
  filter="^($ops)/"
else
  runs=${1:-3}
  filter=${2:-'^[a-z_0-9.:]+/(mira|mira_gpu|libyuv|libyuv_split|libyuv_128bit|opencv|opencv_mt|memcpy)/'}
  build=${3:-$root/build}
fi
if [ ! -x "$build/bench/mira_bench" ]; then
  echo "bench.sh: $build/bench/mira_bench is missing: build the benchmarks first with" >&2
  echo "  scripts/build.sh $build -DMIRA_BUILD_BENCH=ON" >&2
  echo "(they need OpenCV and libyuv: scripts/setup.sh installs them)" >&2
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for i in $(seq "$runs"); do
  "$build/bench/mira_bench" --benchmark_filter="$filter" --benchmark_min_time=0.2 \
    --benchmark_format=json --benchmark_out="$out/run$i.json" >/dev/null 2>&1
done
python3 - "$check" "$root/bench/targets.txt" "$out"/run*.json <<'PY'
import collections, json, sys
check, targets_path, paths = sys.argv[1] == '1', sys.argv[2], sys.argv[3:]
unit = {'ns': 1e-3, 'us': 1.0, 'ms': 1e3, 's': 1e6}
best = collections.defaultdict(lambda: float('inf'))
for path in paths:
    for b in json.load(open(path))['benchmarks']:
        if b.get('run_type') != 'iteration' or b.get('error_occurred'):
            continue
        name = b['name'].replace('/real_time', '')
        best[name] = min(best[name], b['real_time'] * unit[b['time_unit']])
cases = collections.defaultdict(dict)
for name, t in best.items():
    op, impl, size = name.split('/')[:3]
    cases[(op, size)][impl] = t
if check:
    over, missing = [], []
    print(f"{'operation':28s} {'size':10s} {'peer':14s} {'mira (us)':>10s} {'peer (us)':>10s} {'ratio':>6s} {'target':>6s}")
    for line in open(targets_path):
        f = line.split('#')[0].split()
        if len(f) != 4:
            continue
        op, size, peer, limit = f[0], f[1], f[2], float(f[3])
        times = cases.get((op, size), {})
        if 'mira' not in times or peer not in times:
            missing.append(f"{op} {size} {peer}")
            print(f"{op:28s} {size:10s} {peer:14s} {'-':>10s} {'-':>10s} {'-':>6s} {limit:6.2f}  no such row")
            continue
        r = times['mira'] / times[peer]
        flag = '  OVER' if r > limit else ''
        print(f"{op:28s} {size:10s} {peer:14s} {times['mira']:10.1f} {times[peer]:10.1f} {r:6.2f} {limit:6.2f}{flag}")
        if r > limit:
            over.append(f"{op} {size} vs {peer}: {r:.2f} (target {limit:.2f})")
    print()
    if over:
        print(f"{len(over)} row(s) over target (fastest of {len(paths)} runs):")
        for o in over:
            print("  " + o)
    else:
        print(f"every row with a target meets it (fastest of {len(paths)} runs)")
    if missing:
        print(f"{len(missing)} target(s) without a benchmark row: " + ', '.join(missing))
    sys.exit(1 if over or missing else 0)
print(f"{'operation':26s} {'size':10s} {'mira (us)':>10s}  ratios (mira / other)")
for (op, size), times in sorted(cases.items()):
    if 'mira' not in times:
        continue
    ours = times['mira']
    peers = ' '.join(f"{k}={ours / v:.2f}" for k, v in sorted(times.items()) if k != 'mira')
    print(f"{op:26s} {size:10s} {ours:10.1f}  {peers}")
PY
