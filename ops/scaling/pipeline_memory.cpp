#include "ops/scaling/pipeline_memory.h"

#include <HalideRuntime.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace mira {
namespace {

// Alignment of every block (the widest vector of any target) and the header
// in front of it: the block's capacity and the C allocator's pointer, in the
// 16 bytes before the block (the pipelines may read 8 bytes before and after
// a block).
constexpr size_t kAlign = 64;
// Smaller requests go straight to the C allocator, which serves them well;
// larger capacities are rounded up so that bands of slightly different
// sizes share blocks.
constexpr size_t kMinCached = 16 * 1024;
constexpr size_t kGranule = 16 * 1024;
// What one thread's cache may hold between bands and calls (a band holds
// up to four large blocks at once).
constexpr size_t kMaxBlocks = 8;
constexpr size_t kMaxBytes = 16u << 20;

struct Header {
    size_t capacity;  // usable bytes
    void* raw;        // what malloc returned
};

Header* header_of(void* p) { return static_cast<Header*>(p) - 1; }

void* new_block(size_t capacity) {
    void* raw = std::malloc(capacity + 2 * kAlign);
    if (raw == nullptr) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw) + sizeof(Header);
    void* p = reinterpret_cast<void*>((start + kAlign - 1) & ~uintptr_t(kAlign - 1));
    *header_of(p) = Header{capacity, raw};
    return p;
}

// One cache per thread: a band's blocks go back to the thread that computes
// the next band (a block shared between cores costs more in cache traffic
// than a fresh one). The caches of all threads are listed, so that ncvDeinit
// and the exit can release them.
struct Cache;
std::mutex g_list_lock;
Cache* g_list = nullptr;
bool g_closed = false;  // at exit: frees go straight to the C allocator (under g_list_lock)

struct Cache {
    std::mutex lock;  // its thread, and releases from other threads
    void* block[kMaxBlocks] = {};
    size_t count = 0;
    size_t bytes = 0;
    bool closed = false;
    Cache* next = nullptr;

    Cache() {
        std::lock_guard<std::mutex> g(g_list_lock);
        closed = g_closed;
        next = g_list;
        g_list = this;
    }

    ~Cache() {
        {
            std::lock_guard<std::mutex> g(g_list_lock);
            for (Cache** c = &g_list; *c != nullptr; c = &(*c)->next)
                if (*c == this) {
                    *c = next;
                    break;
                }
        }
        release(true);
    }

    // Takes the smallest cached block of at least `wanted` bytes and at most
    // twice that (a much larger block stays for a larger band).
    void* take(size_t wanted) {
        std::lock_guard<std::mutex> g(lock);
        size_t best = count;
        for (size_t i = 0; i < count; ++i) {
            const size_t c = header_of(block[i])->capacity;
            if (c >= wanted && c / 2 <= wanted &&
                (best == count || c < header_of(block[best])->capacity))
                best = i;
        }
        if (best == count) return nullptr;
        void* p = block[best];
        block[best] = block[--count];
        bytes -= header_of(p)->capacity;
        return p;
    }

    // Keeps `p` if there is room (making room by dropping the smallest block
    // when `p` is larger); returns the block to release, if any.
    void* keep(void* p) {
        const size_t c = header_of(p)->capacity;
        std::lock_guard<std::mutex> g(lock);
        if (closed || c > kMaxBytes) return p;
        void* dropped = nullptr;
        if (count == kMaxBlocks || bytes + c > kMaxBytes) {
            size_t smallest = 0;
            for (size_t i = 1; i < count; ++i)
                if (header_of(block[i])->capacity < header_of(block[smallest])->capacity)
                    smallest = i;
            if (count == 0 || header_of(block[smallest])->capacity >= c ||
                bytes - header_of(block[smallest])->capacity + c > kMaxBytes)
                return p;
            dropped = block[smallest];
            bytes -= header_of(dropped)->capacity;
            block[smallest] = block[--count];
        }
        block[count++] = p;
        bytes += c;
        return dropped;
    }

    void release(bool close) {
        void* out[kMaxBlocks];
        size_t n;
        {
            std::lock_guard<std::mutex> g(lock);
            n = count;
            for (size_t i = 0; i < n; ++i) out[i] = block[i];
            count = 0;
            bytes = 0;
            closed = closed || close;
        }
        for (size_t i = 0; i < n; ++i) std::free(header_of(out[i])->raw);
    }
};

// Set once the thread's cache is gone (frees during the thread's exit).
thread_local bool t_cache_gone = false;

struct ThreadCache {
    Cache cache;
    ~ThreadCache() { t_cache_gone = true; }
};

Cache* thread_cache() {
    if (t_cache_gone) return nullptr;
    thread_local ThreadCache c;
    return &c.cache;
}

void release_all(bool close) {
    std::lock_guard<std::mutex> g(g_list_lock);
    g_closed = g_closed || close;
    for (Cache* c = g_list; c != nullptr; c = c->next) c->release(close);
}

// Releases every thread's blocks when the library is unloaded.
struct Drain {
    ~Drain() { release_all(true); }
};

void* pipeline_malloc(void*, size_t bytes) {
    if (bytes > SIZE_MAX / 2) return nullptr;
    if (bytes < kMinCached) return new_block(bytes);
    Cache* c = thread_cache();
    if (c != nullptr)
        if (void* p = c->take(bytes)) return p;
    return new_block((bytes + kGranule - 1) / kGranule * kGranule);
}

void pipeline_free(void*, void* p) {
    if (p == nullptr) return;
    if (header_of(p)->capacity >= kMinCached) {
        Cache* c = thread_cache();
        if (c != nullptr) p = c->keep(p);
    }
    if (p != nullptr) std::free(header_of(p)->raw);
}

}  // namespace

void pipeline_memory_install() {
    // (Also run while the library loads, below: no pipeline call can then
    // free a block that the C allocator handed out.)
    static const Drain drain = [] {
        // An allocator the application set first stays.
        const halide_malloc_t before = halide_set_custom_malloc(pipeline_malloc);
        if (before != halide_default_malloc)
            halide_set_custom_malloc(before);
        else
            halide_set_custom_free(pipeline_free);
        return Drain{};
    }();
    (void)drain;
}

namespace {
[[maybe_unused]] const bool installed_at_load = (pipeline_memory_install(), true);
}  // namespace

void pipeline_memory_release() { release_all(false); }

PipelineMemoryStats pipeline_memory_stats() {
    PipelineMemoryStats st{0, 0};
    std::lock_guard<std::mutex> g(g_list_lock);
    for (Cache* c = g_list; c != nullptr; c = c->next) {
        std::lock_guard<std::mutex> gc(c->lock);
        st.blocks += c->count;
        st.bytes += c->bytes;
    }
    return st;
}

}  // namespace mira
