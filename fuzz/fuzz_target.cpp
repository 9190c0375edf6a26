// One libFuzzer entry, built once per target with MIRA_FUZZ_TARGET:
//   0 geometry and colour, 1 filters and statistics, 2 scaling and warping:
//     the exported functions and direct kernels of that family;
//   3 manager: the same calls, but every request the wrappers build is
//     rewritten (mode, descriptor counts, lists, extra block, ids, reserved)
//     and sent through MIRA_Manager::run;
//   4 lifecycle: ncvInit/ncvDeinit/ncvMemAlloc/ncvMemFree/ncvIsNcvAllocBuffer
//     sequences with image calls between them, some on managed memory;
//   5 checked interface: the camera-frame and colour-image functions of
//     mira_image.h (fuzz_checked.h).
#include <cstdint>
#include <cstring>
#include <string>

#include "api/test_hooks.h"
#include "common/op_cases.h"
#include "gpu/src/inc/zor_test_hooks.h"
#include "fuzz_checked.h"
#include "fuzz_ops.h"
#include "mira/mira_features.h"

#ifndef MIRA_FUZZ_TARGET
#error "MIRA_FUZZ_TARGET must be defined"
#endif

using namespace mira_fuzz;

namespace {

FuzzedDataProvider* g_fdp = nullptr;
bool g_inside = false;

bool is_image_feature(uint32_t id) { return id >= 6 && id <= 26; }

// Rewrites the request the wrapper built and runs it through the manager.
[[maybe_unused]] bool perturb(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
             uint8_t dstCount, const MIRA_Feature_Param* param) {
    if (g_inside || g_fdp == nullptr) return true;
    FuzzedDataProvider& f = *g_fdp;
    MIRA_Feature_Param p = *param;
    // Copies of the lists, padded with the last descriptor so that a larger
    // count still names memory the planes cover. Intensity statistics reads
    // two destinations whatever the count.
    MIRA_Feature_Buf s[4] = {}, d[4] = {};
    const uint8_t sn = srcCount, dn = p.apiId == MIRA_API_IMAGE_INTENSITY_STATS ? 2 : dstCount;
    for (int i = 0; i < 4; ++i) {
        if (sn) s[i] = src[i < sn ? i : sn - 1];
        if (dn) d[i] = dst[i < dn ? i : dn - 1];
    }
    uint8_t sc = srcCount, dc = dstCount;
    switch (f.ConsumeIntegralInRange<int>(0, 6)) {
        case 0: p.mode = 0; break;
        case 1: p.mode = 1; break;
        case 2: p.mode = 2; break;
        case 3: p.mode = 7; break;
        case 4: p.mode = f.ConsumeIntegral<uint32_t>(); break;
        default: break;
    }
    if (f.ConsumeIntegralInRange<int>(0, 3) == 0) sc = f.ConsumeIntegralInRange<uint8_t>(0, 4);
    if (f.ConsumeIntegralInRange<int>(0, 3) == 0) dc = f.ConsumeIntegralInRange<uint8_t>(0, 4);
    p.reserved = f.ConsumeIntegral<uint32_t>();
    // The arg of a rotation shapes the destination the wrapper laid out:
    // only the features that read arg as a mode get a new one.
    if ((p.apiId == MIRA_API_FILTER_GAUSSIAN3X3_U8 ||
         p.apiId == MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8) && f.ConsumeBool())
        p.arg = f.ConsumeIntegral<int32_t>();
    const bool dropExtra = p.extra != nullptr && f.ConsumeIntegralInRange<int>(0, 7) == 0;
    if (dropExtra) p.extra = nullptr;
    const int lists = f.ConsumeIntegralInRange<int>(0, 15);
    const bool nullSrc = lists == 0, nullDst = lists == 1;
    const bool badId = f.ConsumeIntegralInRange<int>(0, 15) == 0;
    if (badId) {
        const uint32_t ids[] = {0u, 27u, 28u, 255u, 0x80000000u, 0xFFFFFFFFu};
        p.apiId = ids[f.ConsumeIntegralInRange<int>(0, 5)];
    }
    g_inside = true;
    MIRA_Manager manager;
    const uint32_t status = manager.run(nullSrc ? nullptr : s, sc, nullDst ? nullptr : d, dc, &p);
    g_inside = false;
    if (badId && status != MIRA_ERR_ARG) fail("an id that names no feature was not rejected", "MIRA_Manager::run");
    if (!badId && is_image_feature(p.apiId) && (nullSrc || nullDst) && status != MIRA_ERR_ARG)
        fail("a null descriptor list was not rejected", "MIRA_Manager::run");
    if (status > MIRA_ERR_ARG) fail("status outside 0..2", "MIRA_Manager::run");
    return false;  // the wrapper's own request is not run again
}

// ------------------------------------------------------------ lifecycle
[[maybe_unused]] void lifecycle(FuzzedDataProvider& f) {
    struct Slot { void* p; uint32_t size; };
    Slot slots[4] = {};
    const int steps = f.ConsumeIntegralInRange<int>(1, 12);
    for (int i = 0; i < steps && f.remaining_bytes() > 0; ++i) {
        switch (f.ConsumeIntegralInRange<int>(0, 7)) {
            case 0: {
                const int r = ncvInit();
                if (r != 0 && r != 1) fail("ncvInit result outside 0, 1", "ncvInit");
                break;
            }
            case 1:
                // Blocks of the released device are gone with it.
                ncvDeinit();
                for (Slot& s : slots) s = Slot{};
                break;
            case 2: {
                Slot& s = slots[f.ConsumeIntegralInRange<int>(0, 3)];
                if (s.p) ncvMemFree(s.p);
                const uint32_t size = f.ConsumeBool() ? f.ConsumeIntegralInRange<uint32_t>(0, 1u << 20)
                                                      : f.ConsumeIntegralInRange<uint32_t>(0, 64);
                const uint32_t aligns[] = {0, 1, 3, 4, 64, 128, 4096, 1u << 20};
                const uint32_t a = aligns[f.ConsumeIntegralInRange<int>(0, 7)];
                s.p = ncvMemAlloc(size, a);
                s.size = s.p ? size : 0;
                if (size == 0 && s.p) fail("ncvMemAlloc(0) returned a block", "ncvMemAlloc");
                if (s.p) {
                    std::memset(s.p, 0x5A, size);
                    if (ncvIsNcvAllocBuffer(s.p) != 1) fail("a managed block is not registered", "ncvIsNcvAllocBuffer");
                }
                break;
            }
            case 3: {
                Slot& s = slots[f.ConsumeIntegralInRange<int>(0, 3)];
                if (s.p) {
                    ncvMemFree(s.p);
                    if (ncvIsNcvAllocBuffer(s.p) != 0) fail("a freed block is still registered", "ncvMemFree");
                    if (f.ConsumeBool()) ncvMemFree(s.p);  // second free changes nothing
                }
                s = Slot{};
                break;
            }
            case 4: {
                int local = 0;
                std::vector<uint8_t> heap(16);
                if (ncvIsNcvAllocBuffer(&local) != 0 || ncvIsNcvAllocBuffer(heap.data()) != 0)
                    fail("caller memory reported as managed", "ncvIsNcvAllocBuffer");
                ncvMemFree(heap.data());  // not registered: nothing happens
                break;
            }
            case 5: {
                // A managed block as the source or the destination of a GPU
                // call (zero-copy path), geometry inside the block.
                Slot& s = slots[f.ConsumeIntegralInRange<int>(0, 3)];
                if (!s.p || s.size == 0) break;
                const uint32_t w = std::min<uint32_t>(dim(f), s.size);
                const uint32_t h = w ? std::min<uint32_t>(dim(f), s.size / w) : 0;
                if (w == 0 || h == 0) break;
                Images im;
                MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, (uint32_t)f.ConsumeIntegralInRange<int>(0, 1), 1, nullptr, 0};
                MIRA_Manager m;
                uint8_t* block = static_cast<uint8_t*>(s.p);
                if (f.ConsumeBool()) {
                    // managed source (w x h), guarded destination (h x w)
                    MIRA_Feature_Buf src{w, w, h, h, block};
                    MIRA_Feature_Buf dst{h, h, w, w, im.plane(h, w, h, false, f)};
                    m.run(&src, 1, &dst, 1, &p);
                } else {
                    // guarded source (h x w), managed destination (w x h)
                    MIRA_Feature_Buf src{h, h, w, w, im.plane(h, w, h, true, f)};
                    MIRA_Feature_Buf dst{w, w, h, h, block};
                    m.run(&src, 1, &dst, 1, &p);
                }
                im.check("transpose on managed memory");
                break;
            }
            default: {
                Images im;
                const char* op = run_family(f.ConsumeIntegralInRange<int>(0, 2), f, im);
                im.check(op);
                break;
            }
        }
    }
    for (Slot& s : slots)
        if (s.p) ncvMemFree(s.p);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string missing;
    for (const DirectKernel& k : direct_kernels())
        if (!k.present) missing += std::string(" ") + k.name;
    if (!missing.empty()) std::fprintf(stderr, "fuzz: direct kernels not in the library:%s\n", missing.c_str());
#if MIRA_FUZZ_TARGET <= 2 || MIRA_FUZZ_TARGET == 5
    // The family targets exercise the CPU methods: without an OpenCL library
    // every GPU request runs the CPU method too. (The OpenCL implementation
    // used here compiles kernels on first use of each work-group shape, which
    // would count as a hang under the one-second limit.) The GPU paths are
    // fuzzed by the manager and lifecycle targets.
    zor_test_set_opencl_library("/nonexistent/libOpenCL.so.1");
    std::fprintf(stderr, "fuzz: OpenCL off, ncvInit() = %d\n", ncvInit());
#else
    // Bring the device up and build every kernel once before the first
    // timed input.
    std::fprintf(stderr, "fuzz: ncvInit() = %d\n", ncvInit());
    for (const mira_test::OpCase& c : mira_test::all_op_cases()) {
        mira_test::Planes out;
        c.run(MIRA_MODE_OPENCL, out);
    }
    zor_test_take_log();
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider f(data, size);
#if MIRA_FUZZ_TARGET <= 2
    Images im;
    const char* op = run_family(MIRA_FUZZ_TARGET, f, im);
    im.check(op);
#elif MIRA_FUZZ_TARGET == 3
    MIRA_Manager manager;
    if (manager.run(nullptr, 0, nullptr, 0, nullptr) != MIRA_ERR_ARG)
        fail("a null record was not rejected", "MIRA_Manager::run");
    g_fdp = &f;
    mira::g_run_observer = perturb;
    Images im;
    const char* op = run_family(f.ConsumeIntegralInRange<int>(0, 2), f, im);
    mira::g_run_observer = nullptr;
    g_fdp = nullptr;
    im.check(op);
#elif MIRA_FUZZ_TARGET == 4
    lifecycle(f);
#else
    Images im;
    const char* op = checked_api(f, im);
    im.check(op);
#endif
    return 0;
}
