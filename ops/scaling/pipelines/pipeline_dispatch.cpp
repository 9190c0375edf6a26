// Run-time choice among the compiled versions of the scaling pipelines (built
// when several Halide targets are configured, best first): every pipeline
// function, its _argv form and its _metadata pass to the first version whose
// instruction-set extensions this processor has, chosen once for all
// pipelines. The metadata are those of the chosen version under the
// pipeline's own name.
//
// MIRA_PIPELINE_VERSION=<i> in the environment restricts the choice to
// version i where this processor can run it (tests check every version,
// benchmarks compare them); otherwise the baseline (the last one) is taken.
#include <HalideRuntime.h>

#include <cstdint>
#include <cstdlib>

#include "pipeline_versions.h"

namespace {

int chosen_version() {
    static const int version = [] {
        const char* env = std::getenv("MIRA_PIPELINE_VERSION");
        const int forced = env != nullptr && *env != '\0' ? std::atoi(env) : -1;
        __builtin_cpu_init();
        for (int i = 0; i + 1 < kMiraPipelineVersions; ++i)
            if ((forced < 0 || forced == i) && mira_pipeline_runs(i)) return i;
        return kMiraPipelineVersions - 1;
    }();
    return version;
}

}  // namespace

#define MIRA_EXPORT_PIPELINE extern "C" __attribute__((visibility("default")))
#define MIRA_ENTRY(P, V) &P##_##V,
#define MIRA_ARGV_ENTRY(P, V) &P##_##V##_argv,
#define MIRA_METADATA_ENTRY(P, V) &P##_##V##_metadata,

// The version tables, the argv form and the renamed metadata of one pipeline.
#define MIRA_PIPELINE_COMMON(P)                                                          \
    static decltype(&P##_v0) const P##_versions[] = {MIRA_PIPELINE_VERSIONS(MIRA_ENTRY, P)}; \
    static decltype(&P##_v0_argv) const P##_argv_versions[] = {                          \
        MIRA_PIPELINE_VERSIONS(MIRA_ARGV_ENTRY, P)};                                     \
    static decltype(&P##_v0_metadata) const P##_metadata_versions[] = {                  \
        MIRA_PIPELINE_VERSIONS(MIRA_METADATA_ENTRY, P)};                                 \
    MIRA_EXPORT_PIPELINE int P##_argv(void** args) {                                    \
        return P##_argv_versions[chosen_version()](args);                                \
    }                                                                                    \
    MIRA_EXPORT_PIPELINE const halide_filter_metadata_t* P##_metadata(void) {           \
        static const halide_filter_metadata_t md = [] {                                  \
            halide_filter_metadata_t m = *P##_metadata_versions[chosen_version()]();     \
            m.name = #P;                                                                 \
            return m;                                                                    \
        }();                                                                             \
        return &md;                                                                      \
    }

// The integer block-mean down-scale.
#define MIRA_SCALEDOWN_PIPELINE(P)                                                         \
    MIRA_PIPELINE_COMMON(P)                                                                \
    MIRA_EXPORT_PIPELINE int P(halide_buffer_t* intput, uint8_t m, uint8_t n, float scale, \
                               halide_buffer_t* output) {                                  \
        return P##_versions[chosen_version()](intput, m, n, scale, output);                \
    }

// The Lanczos-3 up-scale: (input, scale_x, scale_y, output).
#define MIRA_LANCZOS_PIPELINE(P)                                                        \
    MIRA_PIPELINE_COMMON(P)                                                             \
    MIRA_EXPORT_PIPELINE int P(halide_buffer_t* input, float scale_x, float scale_y,    \
                               halide_buffer_t* output) {                               \
        return P##_versions[chosen_version()](input, scale_x, scale_y, output);         \
    }

// The general-scale pipelines: (input, scale_x, scale_y, border_type,
// border_value, output).
#define MIRA_SCALE_PIPELINE(P)                                                               \
    MIRA_PIPELINE_COMMON(P)                                                                  \
    MIRA_EXPORT_PIPELINE int P(halide_buffer_t* input, float scale_x, float scale_y,         \
                               int32_t border_type, uint8_t border_value,                    \
                               halide_buffer_t* output) {                                    \
        return P##_versions[chosen_version()](input, scale_x, scale_y, border_type,          \
                                              border_value, output);                         \
    }

MIRA_SCALEDOWN_PIPELINE(MIRA_SCALEDOWN_U8_HALIDE)
MIRA_LANCZOS_PIPELINE(MIRA_IMAGE_UP_LANCZOS_XY_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_NONE_XY_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_NONE_XY_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_BOX_XY_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_BOX_XY_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_BILINEAR_XY_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_BILINEAR_XY_U8_HALIDE)

// Interleaved pixels of 3 and 4 channels.
MIRA_SCALEDOWN_PIPELINE(MIRA_SCALEDOWN_C3_U8_HALIDE)
MIRA_SCALEDOWN_PIPELINE(MIRA_SCALEDOWN_C4_U8_HALIDE)
MIRA_LANCZOS_PIPELINE(MIRA_IMAGE_UP_LANCZOS_XY_C3_U8_HALIDE)
MIRA_LANCZOS_PIPELINE(MIRA_IMAGE_UP_LANCZOS_XY_C4_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_NONE_XY_C3_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_NONE_XY_C3_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_BOX_XY_C3_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_BOX_XY_C3_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_BILINEAR_XY_C3_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_BILINEAR_XY_C3_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_NONE_XY_C4_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_NONE_XY_C4_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_BOX_XY_C4_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_BOX_XY_C4_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_BILINEAR_XY_C4_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_BILINEAR_XY_C4_U8_HALIDE)
