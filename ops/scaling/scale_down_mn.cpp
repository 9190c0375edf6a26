#include "ops/scaling/scale_down_mn.h"

#include "mira/mira_types.h"
#include "ops/scaling/scale_down_mn_quotient.h"
#include "ops/scaling/scale_mn_common.h"

namespace mira {

uint32_t scale_down_mn_u8_cpu(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    if (dst.width == 0 || dst.height == 0) return MIRA_OK;
    return scaledown_mn_quotient(src.data, src.width, src.height, src.stride, dst.data, dst.width,
                                 dst.height, dst.stride, 1)
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

uint32_t scale_down_mn_u8_area(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    if (dst.width == 0 || dst.height == 0) return MIRA_OK;
    return scaledown_mn(src.data, src.width, src.height, src.stride, dst.data, dst.width,
                        dst.height, dst.stride, 1)
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

}  // namespace mira
