// Guard-page images for the fuzz targets: every plane is sized exactly from
// the descriptor the public function builds (stride x (rows - 1) + row bytes)
// and ends right before a PROT_NONE page. After a call the targets check that
// sources are unchanged, that the padding between destination rows still holds
// the canary and that nothing was written in front of a block.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/guarded_image.h"

namespace mira_fuzz {

using mira_test::GuardedBlock;
using mira_test::GuardedImage;

[[noreturn]] inline void fail(const char* what, const char* op) {
    std::fprintf(stderr, "FUZZ FAILURE in %s: %s\n", op, what);
    std::fflush(stderr);
    std::abort();
}

// The bytes between the start of the page that holds `p` and `p` itself lie
// inside the mapping and stay zero unless something writes in front of it.
inline bool front_clean(const uint8_t* p) {
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uint8_t* start = reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(p) & ~(page - 1));
    for (const uint8_t* q = start; q < p; ++q)
        if (*q != 0) return false;
    return true;
}

inline uint64_t hash_bytes(const uint8_t* p, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// One plane of the call: role decides the checks made afterwards.
struct Plane {
    std::unique_ptr<GuardedImage> img;
    bool source = false;
    uint64_t hash = 0;
    size_t bytes = 0;
};

class Images {
public:
    // A plane of `rows` rows of `rowBytes` bytes, `stride` apart (the stride
    // the wrapper stores). Sources get random contents, destinations the canary.
    uint8_t* plane(uint32_t rowBytes, uint32_t rows, uint32_t stride, bool source,
                   FuzzedDataProvider& fdp) {
        Plane p;
        p.img = std::make_unique<GuardedImage>(rowBytes, rows, stride);
        p.source = source;
        p.bytes = rows ? static_cast<size_t>(stride) * (rows - 1) + (rowBytes ? rowBytes : 1) : 1;
        if (source) {
            fill(p.img->data(), p.bytes, fdp);
            p.hash = hash_bytes(p.img->data(), p.bytes);
        }
        uint8_t* data = p.img->data();
        planes_.push_back(std::move(p));
        return data;
    }
    // A contiguous block of `bytes` bytes (NV21 frames, RGBA output, records).
    uint8_t* block(size_t bytes, bool source, FuzzedDataProvider& fdp) {
        return plane(static_cast<uint32_t>(bytes), bytes ? 1 : 0, static_cast<uint32_t>(bytes),
                     source, fdp);
    }
    void check(const char* op) const {
        for (const Plane& p : planes_) {
            const uint8_t* d = p.img->data();
            if (!front_clean(d)) fail("write in front of a plane", op);
            if (p.source) {
                if (hash_bytes(d, p.bytes) != p.hash) fail("source plane modified", op);
            } else if (!p.img->paddingIntact()) {
                fail("write into the padding between destination rows", op);
            }
        }
    }

private:
    static void fill(uint8_t* d, size_t n, FuzzedDataProvider& fdp) {
        // A few fuzzer bytes seed a cheap generator: contents matter for flood
        // fill and statistics, not for memory safety.
        uint32_t s = fdp.ConsumeIntegral<uint32_t>() | 1u;
        const int kind = fdp.ConsumeIntegralInRange<int>(0, 3);
        for (size_t i = 0; i < n; ++i) {
            s ^= s << 13; s ^= s >> 17; s ^= s << 5;
            d[i] = kind == 0 ? static_cast<uint8_t>(s) : kind == 1 ? 0 : kind == 2 ? 255
                                                                     : static_cast<uint8_t>(s & 1);
        }
    }
    std::vector<Plane> planes_;
};

// Image dimension: mostly small and odd-friendly, up to `max`.
inline uint32_t dim(FuzzedDataProvider& fdp, uint32_t max = 300) {
    switch (fdp.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: return fdp.ConsumeIntegralInRange<uint32_t>(0, 4);
        case 1: return fdp.ConsumeIntegralInRange<uint32_t>(0, 40);
        default: return fdp.ConsumeIntegralInRange<uint32_t>(0, max);
    }
}

// A caller stride for a row of `rowBytes`: zero, below the row, equal, or a
// little or a lot above it.
inline uint32_t stride(FuzzedDataProvider& fdp, uint32_t rowBytes) {
    switch (fdp.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: return 0;
        case 1: return rowBytes ? fdp.ConsumeIntegralInRange<uint32_t>(0, rowBytes - 1) : 0;
        case 2: return rowBytes;
        case 3: return rowBytes + fdp.ConsumeIntegralInRange<uint32_t>(1, 7);
        default: return rowBytes + fdp.ConsumeIntegralInRange<uint32_t>(0, 300);
    }
}

// A stride that is even (16-bit planes): rounds odd values up.
inline uint32_t even(uint32_t v) { return v + (v & 1u); }

// A float for matrices: ordinary values, zero, huge, tiny, NaN and infinities.
inline float matrix_value(FuzzedDataProvider& fdp) {
    switch (fdp.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: return 0.0f;
        case 1: return __builtin_nanf("");
        case 2: return __builtin_inff();
        case 3: return -__builtin_inff();
        case 4: return fdp.ConsumeBool() ? 3.0e38f : -3.0e38f;
        case 5: return fdp.ConsumeBool() ? 1.0e-38f : -1.0e-45f;
        case 6: return static_cast<float>(fdp.ConsumeIntegralInRange<int>(-1000000, 1000000));
        case 7: {
            float f;
            uint32_t bits = fdp.ConsumeIntegral<uint32_t>();
            std::memcpy(&f, &bits, sizeof f);
            return f;
        }
        default: return fdp.ConsumeFloatingPointInRange<float>(-4.0f, 4.0f);
    }
}

// A small integer argument (rotation code, border mode, interpolation, ...):
// the documented values most of the time, anything now and then.
inline int32_t code(FuzzedDataProvider& fdp, int32_t lo, int32_t hi) {
    if (fdp.ConsumeIntegralInRange<int>(0, 7) == 0) return fdp.ConsumeIntegral<int32_t>();
    return fdp.ConsumeIntegralInRange<int32_t>(lo, hi);
}

}  // namespace mira_fuzz
