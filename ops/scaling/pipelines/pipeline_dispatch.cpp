// Run-time choice among the compiled versions of each scaling pipeline (built
// when several Halide targets are configured, best first): every pipeline
// function, its _argv form and its _metadata pass to the first version whose
// instruction-set extensions this processor has. The choice is made once per
// pipeline, on its first call. The metadata are those of the chosen version
// under the pipeline's own name.
//
// MIRA_PIPELINE_VERSION=<i> in the environment restricts the choice to
// version i where this processor can run it (tests check every version,
// benchmarks compare them); otherwise the baseline is taken.
#include <HalideRuntime.h>

#include <cstdint>
#include <cstdlib>

namespace {

bool mira_pipeline_allowed(int version) {
    static const int forced = [] {
        const char* v = std::getenv("MIRA_PIPELINE_VERSION");
        return v != nullptr && *v != '\0' ? std::atoi(v) : -1;
    }();
    return forced < 0 || forced == version;
}

}  // namespace

#include "pipeline_versions.h"

#define MIRA_EXPORT_PIPELINE extern "C" __attribute__((visibility("default")))

// The last version is the baseline: taken when no other one is usable.
#define MIRA_CHOOSE(P, V) \
    if (mira_pipeline_usable_##V()) return &P##_##V;
#define MIRA_LAST(P, V) chosen = &P##_##V;
#define MIRA_CHOOSE_ARGV(P, V) \
    if (mira_pipeline_usable_##V()) return &P##_##V##_argv;
#define MIRA_LAST_ARGV(P, V) chosen = &P##_##V##_argv;
#define MIRA_CHOOSE_METADATA(P, V) \
    if (mira_pipeline_usable_##V()) return P##_##V##_metadata();
#define MIRA_LAST_METADATA(P, V) chosen = P##_##V##_metadata();

// The chooser functions of one pipeline.
#define MIRA_CHOOSERS(P)                                                       \
    static decltype(&P##_v0) choose_##P() {                                    \
        __builtin_cpu_init();                                                  \
        MIRA_PIPELINE_VERSIONS(MIRA_CHOOSE, P)                                 \
        decltype(&P##_v0) chosen = nullptr;                                    \
        MIRA_PIPELINE_VERSIONS(MIRA_LAST, P)                                   \
        return chosen;                                                         \
    }                                                                          \
    static decltype(&P##_v0_argv) choose_##P##_argv() {                        \
        __builtin_cpu_init();                                                  \
        MIRA_PIPELINE_VERSIONS(MIRA_CHOOSE_ARGV, P)                            \
        decltype(&P##_v0_argv) chosen = nullptr;                               \
        MIRA_PIPELINE_VERSIONS(MIRA_LAST_ARGV, P)                              \
        return chosen;                                                         \
    }                                                                          \
    static const halide_filter_metadata_t* chosen_##P##_metadata() {           \
        __builtin_cpu_init();                                                  \
        MIRA_PIPELINE_VERSIONS(MIRA_CHOOSE_METADATA, P)                        \
        const halide_filter_metadata_t* chosen = nullptr;                      \
        MIRA_PIPELINE_VERSIONS(MIRA_LAST_METADATA, P)                          \
        return chosen;                                                         \
    }

// The argv form and the renamed metadata of one pipeline.
#define MIRA_ARGV_AND_METADATA(P)                                              \
    MIRA_EXPORT_PIPELINE int P##_argv(void** args) {                           \
        static const auto chosen = choose_##P##_argv();                        \
        return chosen(args);                                                   \
    }                                                                          \
    MIRA_EXPORT_PIPELINE const halide_filter_metadata_t* P##_metadata(void) {  \
        static const halide_filter_metadata_t md = [] {                        \
            halide_filter_metadata_t m = *chosen_##P##_metadata();             \
            m.name = #P;                                                       \
            return m;                                                          \
        }();                                                                   \
        return &md;                                                            \
    }

// The integer block-mean down-scale.
#define MIRA_SCALEDOWN_PIPELINE(P)                                                           \
    MIRA_CHOOSERS(P)                                                                         \
    MIRA_EXPORT_PIPELINE int P(halide_buffer_t* intput, uint8_t m, uint8_t n, float scale,   \
                               halide_buffer_t* output) {                                    \
        static const auto chosen = choose_##P();                                             \
        return chosen(intput, m, n, scale, output);                                          \
    }                                                                                        \
    MIRA_ARGV_AND_METADATA(P)

// The Lanczos-3 up-scale: (input, scale_factor, output).
#define MIRA_LANCZOS_PIPELINE(P)                                                             \
    MIRA_CHOOSERS(P)                                                                         \
    MIRA_EXPORT_PIPELINE int P(halide_buffer_t* input, float scale_factor,                   \
                               halide_buffer_t* output) {                                    \
        static const auto chosen = choose_##P();                                             \
        return chosen(input, scale_factor, output);                                          \
    }                                                                                        \
    MIRA_ARGV_AND_METADATA(P)

// The general-scale pipelines: (input, scale_factor, border_type,
// border_value, output).
#define MIRA_SCALE_PIPELINE(P)                                                               \
    MIRA_CHOOSERS(P)                                                                         \
    MIRA_EXPORT_PIPELINE int P(halide_buffer_t* input, float scale_factor, int32_t border_type, \
                               uint8_t border_value, halide_buffer_t* output) {              \
        static const auto chosen = choose_##P();                                             \
        return chosen(input, scale_factor, border_type, border_value, output);               \
    }                                                                                        \
    MIRA_ARGV_AND_METADATA(P)

MIRA_SCALEDOWN_PIPELINE(MIRA_SCALEDOWN_U8_HALIDE)
MIRA_LANCZOS_PIPELINE(MIRA_IMAGE_UP_LANCZOS_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_NONE_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_NONE_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_BOX_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_BOX_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_UP_BILINEAR_U8_HALIDE)
MIRA_SCALE_PIPELINE(MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE)
