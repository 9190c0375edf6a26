#include "ops/threadpool/band_runner.h"

#include <HalideRuntime.h>

#include <atomic>
#include <cstdint>

namespace mira {

namespace {

// One call's state, on the caller's stack for the length of the call.
// `published` and `finished` order the caller's writes before every band and
// every band's writes before the caller's return through atomics of this
// file: the runtime's own locks give that order as well, but they are not
// visible to ThreadSanitizer (the runtime is built without instrumentation).
struct BandCall {
    const std::function<void(int)>* fn;
    std::atomic<int> published{0};
    std::atomic<int> finished{0};
};

int band_task(void*, int band, uint8_t* closure) {
    BandCall* call = reinterpret_cast<BandCall*>(closure);
    (void)call->published.load(std::memory_order_acquire);
    (*call->fn)(band);
    call->finished.fetch_add(1, std::memory_order_release);
    return 0;
}

int no_task(void*, int, uint8_t*) { return 0; }

}  // namespace

void run_bands(int bands, const std::function<void(int)>& fn) {
    if (bands <= 0) return;
    if (bands == 1) {
        fn(0);
        return;
    }
    BandCall call;
    call.fn = &fn;
    call.published.store(1, std::memory_order_release);
    (void)halide_do_par_for(nullptr, band_task, 0, bands, reinterpret_cast<uint8_t*>(&call));
    (void)call.finished.load(std::memory_order_acquire);
}

void start_band_workers() {
    // The runtime creates all of its workers when it is first given a
    // parallel loop; once is enough.
    static const bool started = [] {
        (void)halide_do_par_for(nullptr, no_task, 0, 2, nullptr);
        return true;
    }();
    (void)started;
}

}  // namespace mira
