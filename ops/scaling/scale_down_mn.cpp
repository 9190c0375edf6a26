#include "ops/scaling/scale_down_mn.h"

#include "mira/mira_types.h"
#include "ops/scaling/scale_down_mn_quotient.h"
#include "ops/scaling/scale_mn_common.h"

namespace mira {

namespace {

// A plane of single bytes through one of the two box scalings.
using BoxScaling = bool (*)(const uint8_t*, uint32_t, uint32_t, size_t, uint8_t*, uint32_t,
                            uint32_t, size_t, uint32_t);

uint32_t scale_plane(BoxScaling scaling, const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                     uint32_t channels) {
    if (dst.width == 0 || dst.height == 0) return MIRA_OK;
    return scaling(src.data, src.width, src.height, src.stride, dst.data, dst.width, dst.height,
                   dst.stride, channels >= 3 ? channels : 1)
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

}  // namespace

uint32_t scale_down_mn_u8_cpu(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                              uint32_t channels) {
    return scale_plane(scaledown_mn_quotient, src, dst, channels);
}

uint32_t scale_down_mn_u8_area(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                               uint32_t channels) {
    return scale_plane(scaledown_mn, src, dst, channels);
}

}  // namespace mira
