#!/usr/bin/env bash
# The whole test suite: installs what is missing (scripts/setup.sh), builds
# the release (with benchmarks) and the sanitizer (ASan + UBSan)
# configurations, and runs six stages: the release suite; the GPU tests
# again with the coarse-grained and the no-SVM memory kinds forced on PoCL;
# the sanitizer suite; the AArch64 suite (cross build under qemu);
# ThreadSanitizer on the worker pool and on the concurrency, pipeline and
# signal tests; and every fuzz target for a bounded time. A stage whose tests
# fail does not stop the later ones; the exit status is 1 if any failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
jobs=$(nproc)
"$root/scripts/build.sh" "$root/build" -DMIRA_BUILD_BENCH=ON
"$root/scripts/build.sh" "$root/build-asan" -DMIRA_SANITIZE=ON -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
echo "== release suite"
ctest --test-dir "$root/build" -j "$jobs" --output-on-failure || status=1
echo "== GPU tests on the other shared-memory kinds (forced on PoCL: coarse-grained, none)"
gpu_tests='^test_(gpu_.*|faults|concurrency|api|transpose|rotate|colour|gaussian|gradient|scale_down|scale_mn|upscale|affine|seam)$'
# The coarse pass also launches with the kernels' preferred work-group shape
# (what GPUs get), so the kernels' guards of the rounded-up range run here.
for kind in coarse none; do
  echo "-- memory kind: $kind"
  shape=0; [ "$kind" = coarse ] && shape=1
  MIRA_TEST_GROUP_SHAPE=$shape MIRA_TEST_SVM=$kind ctest --test-dir "$root/build" -j "$jobs" -R "$gpu_tests" --output-on-failure || status=1
done
echo "== sanitizer suite"
ctest --test-dir "$root/build-asan" -j "$jobs" --output-on-failure || status=1
echo "== AArch64 suite (cross build under qemu; pipelines from the release build's generator)"
MIRA_HOST_BUILD="$root/build" "$root/scripts/cross-test.sh" "$root/build-arm64" || status=1
echo "== ThreadSanitizer: worker thread pool"
if [ ! -f "$root/build-tsan/CMakeCache.txt" ]; then
  CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S "$root" -B "$root/build-tsan" -DCMAKE_BUILD_TYPE=Release \
    -DMIRA_TSAN=ON -DMIRA_BUILD_BENCH=OFF -DMIRA_BUILD_TOOLS=OFF \
    $(gen=$(find "$root/build" -maxdepth 3 -type f -name mira_pipeline_generator -perm -u+x | head -1); \
      [ -n "$gen" ] && echo "-DMIRA_HALIDE_GENERATOR=$gen")
fi
cmake --build "$root/build-tsan" -j "$jobs" --target test_threadpool
# (The band runner's tests run on the Halide runtime's pool, whose own
# synchronisation the suppressions cover.)
TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/tsan.supp" \
  "$root/build-tsan/tests/test_threadpool" --gtest_brief=1 || status=1
echo "== ThreadSanitizer: concurrency of every feature on both paths"
tsan_tests=(test_concurrency test_pipelines test_signals)
cmake --build "$root/build-tsan" -j "$jobs" --target "${tsan_tests[@]}"
for t in "${tsan_tests[@]}"; do
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
    "$root/build-tsan/tests/$t" --gtest_brief=1 || status=1
done
echo "== fuzzing (every target for a bounded time)"
"$root/scripts/fuzz.sh" || status=1
exit $status
