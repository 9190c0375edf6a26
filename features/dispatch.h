// The one seam between a feature's request and the paths that compute it.
//
// Every feature class names its paths once, in a Route: the argument check,
// the CPU method, the CPU twin of its kernel and the GPU call. The seam owns
// the rest, the same for every feature:
//   - arguments are checked before anything is written (MIRA_ERR_ARG, nothing
//     written, when the check fails or the record is missing);
//   - the mode selects the path: MIRA_MODE_CPU the CPU method, MIRA_MODE_OPENCL
//     (for some features every mode but MIRA_MODE_CPU) the GPU path;
//   - a GPU request gives the kernel's bytes wherever it runs: without a
//     usable device, for a request the kernel does not take, or after any
//     failed GPU step, the kernel's CPU twin computes them.
#pragma once

#include <cstdint>

#include "mira/mira_features.h"

namespace mira {

// One call as the feature object received it; `param` is never null inside a
// route's functions. `self` is the feature object, for features that keep
// state between the steps of one call.
struct Call {
    const MIRA_Feature_Buf* src;
    uint8_t srcCount;
    MIRA_Feature_Buf* dst;
    uint8_t dstCount;
    const MIRA_Feature_Param* param;
    MIRA_Interface* self;
};

struct Route {
    // Arguments every path of the feature can work on.
    bool (*check)(const Call&);
    // The CPU method: the bytes of a CPU request.
    uint32_t (*cpu)(const Call&);
    // The kernel's CPU twin; null where the CPU method computes the kernel's
    // formula (most features).
    uint32_t (*twin)(const Call&) = nullptr;
    // The GPU call: true when the destinations hold the kernel's bytes (or
    // there is nothing to compute), false when a GPU step failed (the runtime
    // has logged it). Null where the feature has no kernel.
    bool (*gpu)(const Call&) = nullptr;
    // Requests the kernel takes; the twin computes the others. Null: all.
    bool (*fits)(const Call&) = nullptr;
    // The method of modes other than MIRA_MODE_CPU and MIRA_MODE_OPENCL; null:
    // the CPU method. Ignored when gpuForEveryOtherMode is set.
    uint32_t (*otherModes)(const Call&) = nullptr;
    // Every mode but MIRA_MODE_CPU requests the GPU path.
    bool gpuForEveryOtherMode = false;
};

// MIRA_Interface::run: picks the path by the mode.
uint32_t dispatch(const Route& route, const Call& call);
// The CPU method of the feature class: check, then the CPU method.
uint32_t run_cpu(const Route& route, const Call& call);
// The GPU method of the feature class: check, then the kernel or its twin.
uint32_t run_gpu(const Route& route, const Call& call);

}  // namespace mira

// Defines the three public methods of feature class NAME through the seam,
// with the paths of `ROUTE` (a mira::Route).
#define MIRA_FEATURE_ROUTE(NAME, ROUTE)                                               \
    uint32_t NAME::run(MIRA_FEATURE_ARGS) {                                           \
        return mira::dispatch(ROUTE, {src, srcCount, dst, dstCount, param, this});    \
    }                                                                                 \
    uint32_t NAME::NAME##_neon(MIRA_FEATURE_ARGS) {                                   \
        return mira::run_cpu(ROUTE, {src, srcCount, dst, dstCount, param, this});     \
    }                                                                                 \
    uint32_t NAME::NAME##_opencl(MIRA_FEATURE_ARGS) {                                 \
        return mira::run_gpu(ROUTE, {src, srcCount, dst, dstCount, param, this});     \
    }
