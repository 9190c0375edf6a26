#include "ops/scaling/upsample_2d_cbcr.h"

#include <initializer_list>

#include "MIRA_IMAGE_UP_BILINEAR_U8_HALIDE.h"
#include "mira/mira_types.h"
#include "ops/scaling/bilinear_up_2x.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"

namespace mira {

namespace {

// Both channels straight into the destination: the pipeline's
// one-channel version, which reads and writes one byte per sample.
void upsample_channels_in_place(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    for (PlaneView v : {PlaneView::Cb, PlaneView::Cr}) {
        PipelineImage in, out;
        halide_buffer_t* inBuf = pipeline_image(in, src, 3, v);
        halide_buffer_t* outBuf = pipeline_image(out, dst, 3, v);
        (void)MIRA_IMAGE_UP_BILINEAR_U8_HALIDE(inBuf, 2.0f, 0, 0, outBuf);
    }
}

}  // namespace

// Exactly twice the pairs' width: the general scale's integer 2x route (its
// bytes are the pipeline's, computed on whole pairs in vectors); any other
// destination width through the pipeline, one channel at a time.
void upsample_2d_cbcr_cpu(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    if (src.width < 2 || src.height == 0 || dst.width < 2 || dst.height == 0) return;
    if (bilinear_up_2x(src, dst, 2, 2.0f, 0, 0)) return;
    upsample_channels_in_place(src, dst);
}

}  // namespace mira
