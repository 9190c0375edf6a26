#!/usr/bin/env bash
# gpu-check.sh [build-dir]: the GPU path on this machine in one command.
# gpu-check.sh --adb --ndk <ndk-dir> [build-dir]: the same on an Android
# phone (arm64-v8a) attached over adb.
#
# Lists the OpenCL platforms and devices with the properties the library
# looks at, builds (release, with benchmarks), shows the device the library
# chooses, runs the GPU tests once with the device's own shared-memory kind
# and once each with coarse-grained SVM and with none forced, then
# tests/mira_gpu_check: for every operation with a kernel at 1080p and 4K the
# launches per call, bytes differing from the kernel's CPU twin and from the
# CPU method (both expected 0), kernel time, call time and overhead; cold and
# warm program-cache builds per kernel; mixed GPU requests from 1 and 4
# threads. Last, the GPU-versus-CPU benchmark rows at 1080p and 4K. Meant for
# a machine with an OpenCL GPU, where it takes well under 10 minutes on 8 cores.
#
# The library takes GPU-type devices only; on a host without a GPU run it as
#   MIRA_OPENCL_DEVICE=any scripts/gpu-check.sh
# to check the same path on whatever device exists (PoCL's CPU device here).
# A MIRA_OPENCL_DEVICE naming a device is honoured by every step, the tests
# included (unset, the tests take the first GPU, or any device without one).
#
# --adb: builds the host tree first (its pipeline generator), cross-builds the
# GPU tests and mira_gpu_check for arm64-v8a with the NDK given by --ndk (or
# $ANDROID_NDK_HOME / $ANDROID_NDK_ROOT) into <build-dir>-android, pushes them
# with the NDK's libc++_shared.so to /data/local/tmp/mira-gpu-check (override
# with MIRA_ADB_DIR) and a writable program cache directory there, runs them on
# the phone (adb -s: set ANDROID_SERIAL) and pulls the results into the logs.
#
# Every log is kept: in $MIRA_GPU_CHECK_OUT, else <build-dir>/gpu-check-<time>
# (printed at the end).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
adb_mode=0
ndk=${ANDROID_NDK_HOME:-${ANDROID_NDK_ROOT:-}}
build=""
while [ $# -gt 0 ]; do
  case "$1" in
    --adb) adb_mode=1 ;;
    --ndk) [ $# -ge 2 ] || { echo "gpu-check.sh: --ndk needs the NDK directory" >&2; exit 2; }
           ndk=$2; shift ;;
    --ndk=*) ndk=${1#--ndk=} ;;
    -h|--help) sed -n '2,34p' "$0"; exit 0 ;;
    -*) echo "gpu-check.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) build=$1 ;;
  esac
  shift
done
build=${build:-$root/build}
# Absolute: programs run from inside it.
mkdir -p "$build"
build=$(cd "$build" && pwd)
if [ "$adb_mode" = 1 ]; then
  # Everything the phone run needs, checked before anything is built.
  [ -n "$ndk" ] || { echo "gpu-check.sh --adb: give the Android NDK with --ndk <dir> (or set ANDROID_NDK_HOME)" >&2; exit 2; }
  [ -f "$ndk/build/cmake/android.toolchain.cmake" ] || {
    echo "gpu-check.sh --adb: $ndk is not an Android NDK (no build/cmake/android.toolchain.cmake)" >&2; exit 2; }
  command -v adb >/dev/null || { echo "gpu-check.sh --adb: adb not found on PATH (Android platform-tools)" >&2; exit 2; }
  state=$(adb get-state 2>&1 || true)
  [ "$state" = device ] || {
    echo "gpu-check.sh --adb: no phone ready over adb ($state); connect one with USB debugging on, or set ANDROID_SERIAL" >&2
    exit 2; }
fi
jobs=$(nproc)
out=${MIRA_GPU_CHECK_OUT:-$build/gpu-check-$(date +%Y%m%d-%H%M%S)}
mkdir -p "$out"
test_device=${MIRA_OPENCL_DEVICE:-any}

if [ "$adb_mode" = 0 ]; then
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
fi

echo "== build ($build)"
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
"$root/scripts/build.sh" "$build" -DMIRA_BUILD_BENCH=ON >"$out/build.log" 2>&1 || {
  tail -n 40 "$out/build.log"; exit 1; }

# Every program of the suite's GPU stage (scripts/test.sh), the camera and
# colour-image kernels included.
tests="test_gpu_device_choice test_gpu_lifecycle test_gpu_logging test_gpu_memory test_gpu_noopencl
test_gpu_program_cache test_gpu_runtime test_gpu_staging test_gpu_transpose test_gpu_vs_cpu
test_gpu_coarse test_gpu_camera test_gpu_camera_transform test_gpu_colour_images
test_gpu_colour_scaling test_gpu_colour_warp test_faults test_concurrency test_api test_transpose
test_rotate test_colour test_gaussian test_gradient test_scale_down test_scale_mn test_affine test_seam"

if [ "$adb_mode" = 1 ]; then
  abuild="${build%/}-android"
  remote=${MIRA_ADB_DIR:-/data/local/tmp/mira-gpu-check}
  cache_base=$remote/cache
  echo "== cross-build for arm64-v8a ($abuild, NDK $ndk)"
  # The pipelines are generated by the host build's generator.
  gen=$(sed -n 's/^MIRA_HALIDE_GENERATOR:[^=]*=//p' "$build/CMakeCache.txt")
  gen=${gen:-$build/mira_pipeline_generator}
  [ -x "$gen" ] || { echo "gpu-check.sh --adb: no host pipeline generator at $gen" >&2; exit 1; }
  programs=""
  for t in $tests; do [ -f "$root/tests/$t.cpp" ] && programs="$programs $t"; done
  { cmake -S "$root" -B "$abuild" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-android-arm64.cmake" -DANDROID_NDK="$ndk" \
      -DMIRA_HALIDE_GENERATOR="$gen" -DMIRA_BUILD_TESTS=ON -DMIRA_BUILD_BENCH=OFF \
      -DMIRA_BUILD_TOOLS=OFF -DMIRA_BUILD_PYTHON=OFF &&
    cmake --build "$abuild" -j "$jobs" --target $programs mira_gpu_check; } >"$out/android-build.log" 2>&1 || {
    tail -n 40 "$out/android-build.log"; echo "gpu-check.sh --adb: the cross-build failed (log: $out/android-build.log)" >&2
    exit 1; }
  cxx_shared=$(find "$ndk/toolchains/llvm/prebuilt" -path '*aarch64-linux-android/libc++_shared.so' 2>/dev/null | head -n 1)
  [ -n "$cxx_shared" ] || { echo "gpu-check.sh --adb: no arm64 libc++_shared.so in $ndk" >&2; exit 1; }
  echo "== pushing to $remote on $(adb shell getprop ro.product.manufacturer | tr -d '\r') $(adb shell getprop ro.product.model | tr -d '\r')" \
       "(Android $(adb shell getprop ro.build.version.release | tr -d '\r'), SoC $(adb shell getprop ro.soc.model | tr -d '\r')$(adb shell getprop ro.board.platform | tr -d '\r' | sed 's/^./ \/ &/'))"
  adb shell "rm -rf $remote && mkdir -p $remote/bin $remote/cache $remote/out" >/dev/null
  for t in $programs mira_gpu_check; do
    adb push "$abuild/tests/$t" "$remote/bin/" >>"$out/adb-push.log" 2>&1 || {
      echo "gpu-check.sh --adb: adb push of $t failed (see $out/adb-push.log)" >&2; exit 1; }
  done
  adb push "$cxx_shared" "$remote/bin/" >>"$out/adb-push.log" 2>&1
  adb shell "chmod 755 $remote/bin/*"
  # The cache directory must be writable by the shell user the programs run as.
  adb shell "touch $cache_base/.probe && rm $cache_base/.probe" ||
    { echo "gpu-check.sh --adb: $cache_base on the phone is not writable" >&2; exit 1; }
else
  cache_base=$out/program-cache-tests
  mkdir -p "$cache_base"
  echo "== the device the library chooses (MIRA_OPENCL_DEVICE=${MIRA_OPENCL_DEVICE:-<unset>: GPUs only})"
  device=$(MIRA_OPENCL_DEVICE=${MIRA_OPENCL_DEVICE-} MIRA_LOG=trace "$build/tools/mira" --gpu transpose "$root/data/astronaut.png" "$out/t.png" 2>&1 |
           grep -E "opencl device chosen|GPU path ran|no OpenCL device" | sed 's/^.*:opencl/opencl/' || true)
  echo "${device:-  (no report)}"
fi

# run_prog <log> <program> [VAR=value...] -- [args...]: runs one program of
# the test build here, or on the phone in --adb mode, with exactly that
# environment added, appending its output to <log>; its exit status (127:
# not built).
run_prog() {
  local log=$1 prog=$2 envs=()
  shift 2
  while [ $# -gt 0 ] && [ "$1" != -- ]; do envs+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  if [ "$adb_mode" = 1 ]; then
    local name text rc
    name=$(basename "$log")
    # The phone keeps its own copy of every log in $remote/out (pulled at the
    # end); the status comes back on a marker line (old adb drops it).
    text=$(adb shell "cd $remote && [ -x bin/$prog ] || exit 127; env LD_LIBRARY_PATH=$remote/bin ${envs[*]} ./bin/$prog $* >out/.run 2>&1; r=\$?; cat out/.run >>out/$name; cat out/.run; echo; echo __mira_rc=\$r" 2>&1 | tr -d '\r') || true
    printf '%s\n' "$text" | grep -v '^__mira_rc=' >>"$log"
    rc=$(printf '%s\n' "$text" | sed -n 's/^__mira_rc=//p' | tail -n 1)
    [ -n "$rc" ] || { grep -q . <<<"$text" || rc=127; }
    return "${rc:-1}"
  fi
  local bin
  bin=$(find "$build" -maxdepth 3 -type f -name "$prog" -perm -u+x | head -n 1)
  [ -n "$bin" ] || return 127
  (cd "$build" && env "${envs[@]}" "$bin" "$@") >>"$log" 2>&1
}

echo "== GPU tests (MIRA_OPENCL_DEVICE=$test_device)"
# Each test program runs directly, so this script's environment decides the
# device and the memory kind (no CTest environment overrides them).
status=0
for kind in device coarse none; do
  log="$out/tests-$kind.log"
  : >"$log"
  passed=0 failed=0 failures=""
  for t in $tests; do
    env_kind=$([ "$kind" = device ] && echo "" || echo "$kind")
    dev=$([ "$t" = test_gpu_device_choice ] && echo "${MIRA_OPENCL_DEVICE-}" || echo "$test_device")
    rc=0
    run_prog "$log" "$t" MIRA_OPENCL_DEVICE="$dev" MIRA_TEST_SVM="$env_kind" \
      MIRA_PROGRAM_CACHE="$cache_base/$t" -- --gtest_brief=1 || rc=$?
    if [ "$rc" = 0 ]; then
      passed=$((passed + 1))
    elif [ "$rc" != 127 ]; then
      failed=$((failed + 1)); failures="$failures $t"; status=1
    fi
  done
  skipped=$(sed -n -E 's/^\[  SKIPPED \] ([0-9]+) tests?\.$/\1/p' "$log" | awk '{n += $1} END {print n + 0}')
  echo "  memory kind $kind: $passed programs passed, $failed failed${failures:+ ($failures)};" \
       "$skipped tests skipped (no such device or memory kind; see $log)"
done

echo "== every kernel at 1080p and 4K against its CPU twin, program builds, threads (MIRA_OPENCL_DEVICE=${MIRA_OPENCL_DEVICE:-<unset>: GPUs only})"
# The user's device choice as in the benchmarks. PoCL keeps its own kernel
# cache, which would make a cold build warm: it is off here (other drivers
# ignore the variable).
: >"$out/check.log"
run_prog "$out/check.log" mira_gpu_check MIRA_OPENCL_DEVICE="${MIRA_OPENCL_DEVICE-}" \
  POCL_KERNEL_CACHE="${POCL_KERNEL_CACHE:-0}" MIRA_PROGRAM_CACHE="$cache_base/check" \
  -- --cache-root "$cache_base" || status=1
cat "$out/check.log"

if [ "$adb_mode" = 1 ]; then
  adb pull "$remote/out" "$out/phone" >/dev/null 2>&1 || echo "  (could not pull $remote/out)"
  echo "== phone logs pulled into $out/phone (the phone keeps $remote; adb shell rm -rf $remote removes it)"
  echo "== logs kept in $out"
  exit $status
fi

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
