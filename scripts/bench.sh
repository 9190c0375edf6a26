#!/usr/bin/env bash
# bench.sh [runs] [filter] [build-dir]: runs the benchmarks `runs` times
# (default 3) and prints, per operation and size, the fastest of our times
# and its ratio to each peer's fastest time. The minimum over several runs
# keeps other load on the machine out of the ratios.
#
# The GPU rows run on whatever OpenCL device exists (MIRA_OPENCL_DEVICE=any:
# PoCL's CPU device on a host without a GPU). Run with MIRA_OPENCL_DEVICE=
# (empty) to measure what a plain host gets: GPU-only device choice, so
# without a GPU the GPU rows run the CPU methods.
set -euo pipefail
export MIRA_OPENCL_DEVICE=${MIRA_OPENCL_DEVICE-any}
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
filter=${2:-'^[a-z_0-9.:]+/(mira|mira_gpu|libyuv|libyuv_split|libyuv_128bit|opencv|opencv_mt|memcpy)/'}
build=${3:-$root/build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for i in $(seq "$runs"); do
  "$build/bench/mira_bench" --benchmark_filter="$filter" --benchmark_min_time=0.2 \
    --benchmark_format=json --benchmark_out="$out/run$i.json" >/dev/null 2>&1
done
python3 - "$out"/run*.json <<'PY'
import collections, json, sys
unit = {'ns': 1e-3, 'us': 1.0, 'ms': 1e3, 's': 1e6}
best = collections.defaultdict(lambda: float('inf'))
for path in sys.argv[1:]:
    for b in json.load(open(path))['benchmarks']:
        if b.get('run_type') != 'iteration' or b.get('error_occurred'):
            continue
        name = b['name'].replace('/real_time', '')
        best[name] = min(best[name], b['real_time'] * unit[b['time_unit']])
cases = collections.defaultdict(dict)
for name, t in best.items():
    op, impl, size = name.split('/')[:3]
    cases[(op, size)][impl] = t
print(f"{'operation':26s} {'size':10s} {'mira (us)':>10s}  ratios (mira / other)")
for (op, size), times in sorted(cases.items()):
    if 'mira' not in times:
        continue
    ours = times['mira']
    peers = ' '.join(f"{k}={ours / v:.2f}" for k, v in sorted(times.items()) if k != 'mira')
    print(f"{op:26s} {size:10s} {ours:10.1f}  {peers}")
PY
