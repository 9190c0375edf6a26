#include "features/dispatch.h"

#include "gpu/src/inc/mira_gpu.h"

namespace mira {

namespace {

bool checked(const Route& route, const Call& call) {
    return call.param != nullptr && route.check(call);
}

uint32_t twin(const Route& route, const Call& call) {
    return route.twin != nullptr ? route.twin(call) : route.cpu(call);
}

}  // namespace

uint32_t run_cpu(const Route& route, const Call& call) {
    if (!checked(route, call)) return MIRA_ERR_ARG;
    return route.cpu(call);
}

uint32_t run_gpu(const Route& route, const Call& call) {
    if (!checked(route, call)) return MIRA_ERR_ARG;
    if (route.gpu == nullptr || (route.fits != nullptr && !route.fits(call)) ||
        !zor_opencl_usable() || !route.gpu(call))
        return twin(route, call);
    return MIRA_OK;
}

uint32_t dispatch(const Route& route, const Call& call) {
    if (call.param == nullptr) return MIRA_ERR_ARG;
    const uint32_t mode = call.param->mode;
    if (mode == MIRA_MODE_OPENCL || (route.gpuForEveryOtherMode && mode != MIRA_MODE_CPU))
        return run_gpu(route, call);
    if (mode != MIRA_MODE_CPU && route.otherModes != nullptr) {
        if (!checked(route, call)) return MIRA_ERR_ARG;
        return route.otherModes(call);
    }
    return run_cpu(route, call);
}

}  // namespace mira
