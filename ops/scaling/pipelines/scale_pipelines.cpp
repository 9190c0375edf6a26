// The single-factor resampling pipelines: each calls its pipeline with a
// factor per axis (the _XY_ name) with the one factor on both axes, so there
// is one definition of the arithmetic. Their _argv forms and metadata keep
// the single-factor argument list (the factor is named "scale_factor").
#include <HalideRuntime.h>

#include <cstdint>

#include "MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_BOX_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_NONE_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BILINEAR_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BOX_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_LANCZOS_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_NONE_U8_HALIDE.h"

namespace {

// The metadata of the two-factor pipeline `general` under `name`, with its
// two factors (arguments 1 and 2) shown as the one "scale_factor".
halide_filter_metadata_t single_factor_metadata(const halide_filter_metadata_t* general,
                                                const char* name,
                                                halide_filter_argument_t* args) {
    halide_filter_metadata_t m = *general;
    int n = 0;
    for (int i = 0; i < general->num_arguments; ++i) {
        if (i == 2) continue;  // scale_y
        args[n] = general->arguments[i];
        if (i == 1) args[n].name = "scale_factor";
        ++n;
    }
    m.num_arguments = n;
    m.arguments = args;
    m.name = name;
    return m;
}

}  // namespace

#define MIRA_EXPORT_PIPELINE extern "C" __attribute__((visibility("default")))

#define MIRA_SINGLE_FACTOR_METADATA(P, G, N)                                        \
    MIRA_EXPORT_PIPELINE const halide_filter_metadata_t* P##_metadata(void) {       \
        static halide_filter_argument_t args[N];                                    \
        static const halide_filter_metadata_t md =                                  \
            single_factor_metadata(G##_metadata(), #P, args);                       \
        return &md;                                                                 \
    }

// (input, scale_factor, border_type, border_value, output)
#define MIRA_SINGLE_FACTOR_SCALE(P, G)                                                        \
    MIRA_EXPORT_PIPELINE int P(halide_buffer_t* input, float scale_factor, int32_t border_type, \
                               uint8_t border_value, halide_buffer_t* output) {                 \
        return G(input, scale_factor, scale_factor, border_type, border_value, output);         \
    }                                                                                           \
    MIRA_EXPORT_PIPELINE int P##_argv(void** args) {                                            \
        void* general[6] = {args[0], args[1], args[1], args[2], args[3], args[4]};              \
        return G##_argv(general);                                                               \
    }                                                                                           \
    MIRA_SINGLE_FACTOR_METADATA(P, G, 5)

MIRA_SINGLE_FACTOR_SCALE(MIRA_IMAGE_UP_NONE_U8_HALIDE, MIRA_IMAGE_UP_NONE_XY_U8_HALIDE)
MIRA_SINGLE_FACTOR_SCALE(MIRA_IMAGE_DOWN_NONE_U8_HALIDE, MIRA_IMAGE_DOWN_NONE_XY_U8_HALIDE)
MIRA_SINGLE_FACTOR_SCALE(MIRA_IMAGE_UP_BOX_U8_HALIDE, MIRA_IMAGE_UP_BOX_XY_U8_HALIDE)
MIRA_SINGLE_FACTOR_SCALE(MIRA_IMAGE_DOWN_BOX_U8_HALIDE, MIRA_IMAGE_DOWN_BOX_XY_U8_HALIDE)
MIRA_SINGLE_FACTOR_SCALE(MIRA_IMAGE_UP_BILINEAR_U8_HALIDE, MIRA_IMAGE_UP_BILINEAR_XY_U8_HALIDE)
MIRA_SINGLE_FACTOR_SCALE(MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE,
                         MIRA_IMAGE_DOWN_BILINEAR_XY_U8_HALIDE)

// (input, scale_factor, output)
MIRA_EXPORT_PIPELINE int MIRA_IMAGE_UP_LANCZOS_U8_HALIDE(halide_buffer_t* input,
                                                         float scale_factor,
                                                         halide_buffer_t* output) {
    return MIRA_IMAGE_UP_LANCZOS_XY_U8_HALIDE(input, scale_factor, scale_factor, output);
}
MIRA_EXPORT_PIPELINE int MIRA_IMAGE_UP_LANCZOS_U8_HALIDE_argv(void** args) {
    void* general[4] = {args[0], args[1], args[1], args[2]};
    return MIRA_IMAGE_UP_LANCZOS_XY_U8_HALIDE_argv(general);
}
MIRA_SINGLE_FACTOR_METADATA(MIRA_IMAGE_UP_LANCZOS_U8_HALIDE, MIRA_IMAGE_UP_LANCZOS_XY_U8_HALIDE, 3)
