#include "ops/threadpool/band_runner.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>

namespace mira {

namespace {

// One call's bands. The state lives until its last holder (the caller or a
// queued helper) lets go, so a helper that runs late finds it intact.
struct BandCall {
    const std::function<void(int)>* fn;
    int bands;
    std::atomic<int> next{0};
    std::atomic<int> refs{1};
    std::atomic<int> done{0};  // written under mutex
    std::mutex mutex;
    std::condition_variable allDone;
};

void release(BandCall* call) {
    if (call->refs.fetch_sub(1) == 1) delete call;
}

void work(BandCall* call) {
    for (int b; (b = call->next.fetch_add(1)) < call->bands;) {
        (*call->fn)(b);
        std::lock_guard<std::mutex> lock(call->mutex);
        if (call->done.fetch_add(1) + 1 == call->bands) call->allDone.notify_one();
    }
}

void helper_job(void* arg) {
    BandCall* call = static_cast<BandCall*>(arg);
    work(call);
    release(call);
}

}  // namespace

bool threadpool_run_bands(threadpool pool, int bands, int helpers,
                          const std::function<void(int)>& fn) {
    if (bands <= 0) return true;
    if (pool == nullptr || helpers <= 0 || bands == 1) {
        for (int b = 0; b < bands; ++b) fn(b);
        return true;
    }
    BandCall* call = new (std::nothrow) BandCall;
    if (call == nullptr) return false;
    call->fn = &fn;
    call->bands = bands;
    for (int h = 0; h < std::min(helpers, bands - 1); ++h) {
        call->refs.fetch_add(1);
        if (threadpool_add_work(pool, helper_job, call) != 0) call->refs.fetch_sub(1);
    }
    work(call);
    // The last bands are under way on helpers: poll briefly (they end within
    // about one band's time), then sleep.
    threadpool_poll([call, bands] { return call->done.load(std::memory_order_acquire) == bands; },
                    200);
    {
        std::unique_lock<std::mutex> lock(call->mutex);
        call->allDone.wait(lock, [call, bands] { return call->done.load() == bands; });
    }
    release(call);
    return true;
}

int spare_processors(int limit) {
    const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    return cpus <= 1 ? 0 : static_cast<int>(std::min<long>(limit, cpus - 1));
}

}  // namespace mira
