// The warp feature: clipped affine transform with nearest, bilinear or cubic
// interpolation. Mode 0 takes the CPU, every other mode the GPU; the CPU
// method is the kernels' twin.
#include <cstring>

#include "features/routes.h"
#include "features/gpu_call.h"
#include "ops/requests.h"
#include "ops/warp/affine_clipped.h"

namespace mira {
namespace {

// The channels of a request's images (ops/requests.h).
uint32_t affine_channels(const Call& c) { return request_pixel_bytes(*c.param); }

// An image of `channels`-byte pixels, `width` of them per row.
bool affine_image_ok(const MIRA_Feature_Buf& b, uint32_t channels) {
    if (b.width == 0 || b.height == 0) return true;
    return b.data != nullptr && uint64_t(b.stride) >= uint64_t(b.width) * channels;
}

// An image, then the matrix; the destination image, then the row spans.
// Planes, or pixels of 3 or 4 channels.
bool affine_ok(const Call& c) {
    if (c.src == nullptr || c.srcCount < 2 || c.dst == nullptr || c.dstCount < 2) return false;
    if (c.src[1].data == nullptr) return false;  // the matrix
    const uint32_t ch = affine_channels(c);
    if (ch != 1 && ch != 3 && ch != 4) return false;
    return affine_image_ok(c.src[0], ch) && affine_image_ok(c.dst[0], ch);
}

uint32_t affine_cpu(const Call& c) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    float m[6];
    std::memcpy(m, src[1].data, sizeof m);
    affine_clipped_u8_cpu(src[0].data, src[0].width, src[0].height, src[0].stride, m,
                          dst[0].data, dst[0].width, dst[0].height, dst[0].stride,
                          affine_interp(c.param->arg), affine_channels(c));
    analysis_dst_border(src, dst);
    return MIRA_OK;
}

// One kernel per interpolation; the row spans are computed on the host.
// Colour images go to the same kernels with their channels as the first
// integer parameter (0 for planes): the images' widths count pixels of that
// many bytes.
bool affine_gpu(const Call& c) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    if (dst[0].width != 0 && dst[0].height != 0 && src[0].width != 0 && src[0].height != 0) {
        const AffineInterp interp = affine_interp(c.param->arg);
        const kernel_id kernel = interp == kAffineNearest ? kernel_id::TransformAffineClippedu8_nearest
                                 : interp == kAffineCubic ? kernel_id::TransformAffineClippedu8_cubic
                                                          : kernel_id::TransformAffineClippedu8_linear;
        ZOR_U8Info img = zor_u8_info(src[0]), out = zor_u8_info(dst[0]);
        ZOR_U8Info mat{3, 2, 24, 12, 2, 4, 104, src[1].data};
        ZOR_U8Info* ins[2] = {&img, &mat};
        ZOR_U8Info* outs[1] = {&out};
        ZOR_ReserveParam_Opencl reserve =
            gpu_request(MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, kernel);
        const uint32_t ch = affine_channels(c);
        kernel_config cfg = default_kernel_config();
        if (ch > 1) {
            img.elemSize = out.elemSize = ch;
            cfg.param_int_1 = int32_t(ch);
        }
        if (!zor_gpu_u8_u8(ins, 2, outs, 1, &reserve, ch > 1 ? &cfg : nullptr)) return false;
    }
    analysis_dst_border(src, dst);
    return true;
}

}  // namespace

// Every mode but 0 requests the GPU.
const Route kAffine{affine_ok, affine_cpu, nullptr, affine_gpu, nullptr, nullptr, true};

}  // namespace mira
