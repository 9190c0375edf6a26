#!/usr/bin/env bash
# gpu-check.sh [build-dir]: the GPU path on this machine in one command.
# Lists the OpenCL platforms and devices with the properties the library
# looks at, builds (release, with benchmarks), shows the device the library
# chooses, runs the GPU tests once with the device's own shared-memory kind
# and once each with coarse-grained SVM and with none forced, runs the GPU-
# versus-CPU benchmark rows at 1080p and 4K, and prints one table. Meant for
# a machine with an OpenCL GPU, where it takes well under 10 minutes on 8 cores.
#
# The library takes GPU-type devices only; on a host without a GPU run it as
#   MIRA_OPENCL_DEVICE=any scripts/gpu-check.sh
# to check the same path on whatever device exists (PoCL's CPU device here).
# A MIRA_OPENCL_DEVICE naming a device is honoured by every step, the tests
# included (unset, the tests take the first GPU, or any device without one).
#
# Every log is kept: in $MIRA_GPU_CHECK_OUT, else <build-dir>/gpu-check-<time>
# (printed at the end).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
jobs=$(nproc)
out=${MIRA_GPU_CHECK_OUT:-$build/gpu-check-$(date +%Y%m%d-%H%M%S)}
mkdir -p "$out"
test_device=${MIRA_OPENCL_DEVICE:-any}

echo "== OpenCL platforms and devices"
python3 - <<'PY'
import ctypes, ctypes.util
name = ctypes.util.find_library("OpenCL") or "libOpenCL.so.1"
try:
    cl = ctypes.CDLL(name)
except OSError:
    print("  no OpenCL library"); raise SystemExit
u32, u64, vp = ctypes.c_uint32, ctypes.c_uint64, ctypes.c_void_p
n = u32()
if cl.clGetPlatformIDs(0, None, ctypes.byref(n)) != 0 or n.value == 0:
    print("  no OpenCL platform"); raise SystemExit
plats = (vp * n.value)()
cl.clGetPlatformIDs(n, plats, None)
def text(fn, obj, what):
    buf = ctypes.create_string_buffer(512)
    fn(vp(obj), u32(what), ctypes.c_size_t(511), buf, None)
    return buf.value.decode(errors="replace")
kinds = {1: "default", 2: "CPU", 4: "GPU", 8: "accelerator", 16: "custom"}
for p in plats:
    print(f"  platform: {text(cl.clGetPlatformInfo, p, 0x0902)} ({text(cl.clGetPlatformInfo, p, 0x0901)})")
    m = u32()
    if cl.clGetDeviceIDs(vp(p), u64(0xFFFFFFFF), 0, None, ctypes.byref(m)) != 0:
        continue
    devs = (vp * m.value)()
    cl.clGetDeviceIDs(vp(p), u64(0xFFFFFFFF), m, devs, None)
    for d in devs:
        t = u64()
        cl.clGetDeviceInfo(vp(d), u32(0x1000), ctypes.c_size_t(8), ctypes.byref(t), None)
        kind = "/".join(v for k, v in kinds.items() if t.value & k) or "?"
        print(f"    device: {text(cl.clGetDeviceInfo, d, 0x102B)} [{kind}], "
              f"{text(cl.clGetDeviceInfo, d, 0x102F)}, driver {text(cl.clGetDeviceInfo, d, 0x102D)}")
        def num(what, ctype):
            v = ctype()
            if cl.clGetDeviceInfo(vp(d), u32(what), ctypes.c_size_t(ctypes.sizeof(v)), ctypes.byref(v), None) != 0:
                return None
            return v.value
        svm = num(0x1053, u64)  # CL_DEVICE_SVM_CAPABILITIES
        bits = {1: "coarse-buffer", 2: "fine-buffer", 4: "fine-system", 8: "atomics"}
        svm_text = "none" if not svm else "+".join(v for k, v in bits.items() if svm & k)
        unified = num(0x1035, u32)  # CL_DEVICE_HOST_UNIFIED_MEMORY
        mib = lambda v: f"{v / 2**20:.0f} MiB" if v is not None else "?"
        print(f"      {text(cl.clGetDeviceInfo, d, 0x103D)}; SVM {svm_text}"
              f"{f' (0x{svm:x})' if svm else ''}; unified memory "
              f"{'?' if unified is None else 'yes' if unified else 'no (discrete: device buffers)'}")
        print(f"      compute units {num(0x1002, u32)} x {num(0x100C, u32)} MHz; "
              f"max work-group {num(0x1004, ctypes.c_size_t)}; max allocation {mib(num(0x1010, u64))}; "
              f"global memory {mib(num(0x101F, u64))}")
PY

echo "== build ($build)"
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
"$root/scripts/build.sh" "$build" -DMIRA_BUILD_BENCH=ON >"$out/build.log" 2>&1 || {
  tail -n 40 "$out/build.log"; exit 1; }

echo "== the device the library chooses (MIRA_OPENCL_DEVICE=${MIRA_OPENCL_DEVICE:-<unset>: GPUs only})"
device=$(MIRA_OPENCL_DEVICE=${MIRA_OPENCL_DEVICE-} MIRA_LOG=trace "$build/tools/mira" --gpu transpose "$root/data/astronaut.png" "$out/t.png" 2>&1 |
         grep -E "opencl device chosen|GPU path ran|no OpenCL device" | sed 's/^.*:opencl/opencl/' || true)
echo "${device:-  (no report)}"

echo "== GPU tests (MIRA_OPENCL_DEVICE=$test_device)"
# Each test program runs directly, so this script's environment decides the
# device and the memory kind (no CTest environment overrides them).
status=0
tests="test_gpu_device_choice test_gpu_lifecycle test_gpu_logging test_gpu_memory test_gpu_noopencl
test_gpu_program_cache test_gpu_runtime test_gpu_staging test_gpu_transpose test_gpu_vs_cpu test_faults
test_concurrency test_api test_transpose test_rotate test_colour test_gaussian test_gradient test_scale_mn
test_affine"
for kind in device coarse none; do
  log="$out/tests-$kind.log"
  : >"$log"
  passed=0 failed=0 failures=""
  for t in $tests; do
    bin=$(find "$build" -maxdepth 3 -type f -name "$t" -perm -u+x | head -n 1)
    [ -n "$bin" ] || continue
    env_kind=$([ "$kind" = device ] && echo "" || echo "$kind")
    dev=$([ "$t" = test_gpu_device_choice ] && echo "${MIRA_OPENCL_DEVICE-}" || echo "$test_device")
    if (cd "$build" && env MIRA_OPENCL_DEVICE="$dev" MIRA_TEST_SVM="$env_kind" \
          MIRA_PROGRAM_CACHE="$out/program-cache-tests/$t" "$bin" --gtest_brief=1) >>"$log" 2>&1; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1)); failures="$failures $t"; status=1
    fi
  done
  skipped=$(sed -n -E 's/^\[  SKIPPED \] ([0-9]+) tests?\.$/\1/p' "$log" | awk '{n += $1} END {print n + 0}')
  echo "  memory kind $kind: $passed programs passed, $failed failed${failures:+ ($failures)};" \
       "$skipped tests skipped (no such device or memory kind; see $log)"
done

echo "== GPU against CPU, 1080p and 4K"
MIRA_OPENCL_DEVICE=${MIRA_OPENCL_DEVICE-} "$build/bench/mira_bench" \
  --benchmark_filter='^[a-z_0-9.:]+/(mira|mira_gpu)/(1920x1080|3840x2160)/' \
  --benchmark_min_time=0.1 --benchmark_format=json --benchmark_out="$out/bench.json" \
  >"$out/bench.log" 2>&1 || status=1
python3 - "$out/bench.json" "$device" <<'PY'
import collections, json, sys
unit = {'ns': 1e-3, 'us': 1.0, 'ms': 1e3, 's': 1e6}
rows = collections.defaultdict(dict)
try:
    runs = json.load(open(sys.argv[1]))['benchmarks']
except (OSError, ValueError):
    print("no benchmark results (see the benchmark log)"); runs = []
for b in runs:
    if b.get('run_type') != 'iteration' or b.get('error_occurred'):
        continue
    op, impl, size = b['name'].replace('/real_time', '').split('/')[:3]
    rows[(op, size)][impl] = b['real_time'] * unit[b['time_unit']]
print(f"device: {sys.argv[2].strip() or '?'}")
print(f"{'operation':28s} {'size':10s} {'CPU (us)':>10s} {'GPU (us)':>10s} {'GPU/CPU':>8s}")
for (op, size), t in sorted(rows.items()):
    if 'mira_gpu' not in t:
        continue
    cpu = t.get('mira')
    ratio = f"{t['mira_gpu'] / cpu:8.2f}" if cpu else f"{'-':>8s}"
    print(f"{op:28s} {size:10s} {cpu if cpu else float('nan'):10.1f} {t['mira_gpu']:10.1f} {ratio}")
PY
echo "== logs kept in $out"
exit $status
