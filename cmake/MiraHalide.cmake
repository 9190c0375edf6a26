# The scaling pipelines: Halide generators compiled ahead of time at build
# time and linked into libmira, all sharing one Halide runtime that libmira
# exports with its halide_ names.
#
#   MIRA_HALIDE_TARGET     Halide target of the generated code. Host default:
#                          x86-64-linux-sse41 (the SSE4.2 baseline) or
#                          arm-64-linux; cross builds set arm-64-linux or
#                          arm-64-android. A comma-separated list builds one
#                          version per target with run-time dispatch.
#   MIRA_HALIDE_GENERATOR  Optional path of a generator executable built for the
#                          build machine (for cross builds, where the one built
#                          here would not run); it must come from these sources.

if(MIRA_HALIDE_GENERATOR)
  # A prebuilt generator (cross builds) needs only Halide's CMake helpers, not
  # a Halide library for the target.
  find_package(HalideHelpers REQUIRED)
else()
  find_package(Halide REQUIRED)
endif()

if(ANDROID)
  set(_mira_halide_default "arm-64-android")
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "aarch64|arm64|ARM64")
  set(_mira_halide_default "arm-64-linux")
else()
  # One version per x86 vector level, chosen at run time (see below); the
  # last one is the SSE4.2 baseline.
  set(_mira_halide_default
      "x86-64-linux-sse41-avx-avx2-avx512-avx512_skylake,x86-64-linux-sse41-avx-avx2,x86-64-linux-sse41")
endif()
set(MIRA_HALIDE_TARGET "${_mira_halide_default}" CACHE STRING
    "Halide target (or comma-separated targets, best first) of the scaling pipelines")
set(MIRA_HALIDE_GENERATOR "" CACHE FILEPATH
    "Prebuilt pipeline generator executable (cross builds)")

set(_mira_pipe_dir ${PROJECT_SOURCE_DIR}/ops/scaling/pipelines)
if(MIRA_HALIDE_GENERATOR)
  add_executable(mira_pipeline_generator IMPORTED GLOBAL)
  set_target_properties(mira_pipeline_generator PROPERTIES
                        IMPORTED_LOCATION "${MIRA_HALIDE_GENERATOR}")
else()
  add_halide_generator(mira_pipeline_generator SOURCES
    ${_mira_pipe_dir}/scaledown_generator.cpp
    ${_mira_pipe_dir}/image_scale_generators.cpp
    ${_mira_pipe_dir}/lanczos_generator.cpp)
  # The generator runs at build time only: optimise it, keep it quiet, and
  # leave sanitizers out of it (they would only slow the build down).
  target_compile_options(mira_pipeline_generator PRIVATE -O1 -w)
  if(MIRA_SANITIZE OR MIRA_TSAN)
    target_compile_options(mira_pipeline_generator PRIVATE -fno-sanitize=all)
    target_link_options(mira_pipeline_generator PRIVATE -fno-sanitize=all)
  endif()
endif()

string(REPLACE "," ";" _mira_halide_targets "${MIRA_HALIDE_TARGET}")
list(LENGTH _mira_halide_targets MIRA_HALIDE_VERSIONS)

# The resampling pipelines take a factor per axis (the _XY_ names); the
# single-factor pipelines of the same names without _XY_ are thin functions
# over them (ops/scaling/pipelines/scale_pipelines.cpp), with the same
# argument lists and metadata as before.
set(MIRA_HALIDE_PIPELINES
  MIRA_SCALEDOWN_U8_HALIDE
  MIRA_IMAGE_UP_LANCZOS_XY_U8_HALIDE
  MIRA_IMAGE_UP_NONE_XY_U8_HALIDE
  MIRA_IMAGE_DOWN_NONE_XY_U8_HALIDE
  MIRA_IMAGE_UP_BOX_XY_U8_HALIDE
  MIRA_IMAGE_DOWN_BOX_XY_U8_HALIDE
  MIRA_IMAGE_UP_BILINEAR_XY_U8_HALIDE
  MIRA_IMAGE_DOWN_BILINEAR_XY_U8_HALIDE
  # Interleaved pixels of 3 and 4 channels.
  MIRA_SCALEDOWN_C3_U8_HALIDE
  MIRA_SCALEDOWN_C4_U8_HALIDE
  MIRA_IMAGE_UP_LANCZOS_XY_C3_U8_HALIDE
  MIRA_IMAGE_UP_LANCZOS_XY_C4_U8_HALIDE
  MIRA_IMAGE_UP_NONE_XY_C3_U8_HALIDE
  MIRA_IMAGE_DOWN_NONE_XY_C3_U8_HALIDE
  MIRA_IMAGE_UP_BOX_XY_C3_U8_HALIDE
  MIRA_IMAGE_DOWN_BOX_XY_C3_U8_HALIDE
  MIRA_IMAGE_UP_BILINEAR_XY_C3_U8_HALIDE
  MIRA_IMAGE_DOWN_BILINEAR_XY_C3_U8_HALIDE
  MIRA_IMAGE_UP_NONE_XY_C4_U8_HALIDE
  MIRA_IMAGE_DOWN_NONE_XY_C4_U8_HALIDE
  MIRA_IMAGE_UP_BOX_XY_C4_U8_HALIDE
  MIRA_IMAGE_DOWN_BOX_XY_C4_U8_HALIDE
  MIRA_IMAGE_UP_BILINEAR_XY_C4_U8_HALIDE
  MIRA_IMAGE_DOWN_BILINEAR_XY_C4_U8_HALIDE)
set(MIRA_SINGLE_FACTOR_PIPELINES
  MIRA_IMAGE_UP_LANCZOS_U8_HALIDE
  MIRA_IMAGE_UP_NONE_U8_HALIDE
  MIRA_IMAGE_DOWN_NONE_U8_HALIDE
  MIRA_IMAGE_UP_BOX_U8_HALIDE
  MIRA_IMAGE_DOWN_BOX_U8_HALIDE
  MIRA_IMAGE_UP_BILINEAR_U8_HALIDE
  MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE)

# Stages of the pipelines written by hand (NEON), called from the generated
# code: a library of their own that every pipeline library names as a
# dependency, so that it follows them on every link line.
add_library(mira_pipeline_stages STATIC ${_mira_pipe_dir}/column_gather.cpp)
target_include_directories(mira_pipeline_stages PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
target_link_libraries(mira_pipeline_stages PUBLIC Halide::Runtime)
set_target_properties(mira_pipeline_stages PROPERTIES POSITION_INDEPENDENT_CODE ON
                      CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
mira_kernel_flags(mira_pipeline_stages)

# Adds one compiled pipeline (library target and function `name`) sharing the
# one runtime. Every version is compiled with strict_float: Halide would
# otherwise fuse multiply-adds where the target has them (AVX2, AArch64) and
# not elsewhere, and the versions' bytes would differ by a rounding.
# MIRA_HALIDE_STRICT_FLOAT=OFF drops it, only to measure what it costs.
option(MIRA_HALIDE_STRICT_FLOAT "Compile the pipelines with strict_float (same bytes on every target)" ON)
set(_mira_halide_runtime "")
function(_mira_add_pipeline name generator target)
  if(MIRA_HALIDE_STRICT_FLOAT AND NOT target MATCHES "strict_float")
    set(target "${target}-strict_float")
  endif()
  if(_mira_halide_runtime STREQUAL "")
    add_halide_library(${name} FROM mira_pipeline_generator GENERATOR ${generator}
                       FUNCTION_NAME ${name} TARGETS ${target})
    set(_mira_halide_runtime ${name}.runtime PARENT_SCOPE)
  else()
    add_halide_library(${name} FROM mira_pipeline_generator GENERATOR ${generator}
                       FUNCTION_NAME ${name} TARGETS ${target} USE_RUNTIME ${_mira_halide_runtime})
  endif()
  target_link_libraries(${name} INTERFACE mira_pipeline_stages)
  target_link_libraries(mira_objects PUBLIC ${name})
endfunction()

if(MIRA_HALIDE_VERSIONS EQUAL 1)
  foreach(p IN LISTS MIRA_HALIDE_PIPELINES)
    _mira_add_pipeline(${p} ${p} ${MIRA_HALIDE_TARGET})
  endforeach()
else()
  # Several targets: every pipeline is compiled once per target as
  # <pipeline>_v<i>, and <pipeline>, <pipeline>_argv and <pipeline>_metadata
  # (ops/scaling/pipelines/pipeline_dispatch.cpp) call the first version whose
  # instruction-set extensions this processor has. The runtime is built for
  # what all targets have in common. Generated here: the list of versions
  # with their processor tests, and per pipeline a header declaring the
  # dispatching functions as the single-target build's header does.
  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/pipeline_dispatch)
  file(MAKE_DIRECTORY ${_dir})
  # Halide target features -> names understood by __builtin_cpu_supports.
  set(_cpu_sse41 "sse4.1")
  set(_cpu_avx "avx")
  set(_cpu_avx2 "avx2")
  set(_cpu_fma "fma")
  set(_cpu_strict_float "")  # a code-generation feature, no processor test
  set(_cpu_avx512 "avx512f;avx512cd")
  set(_cpu_avx512_skylake "avx512f;avx512cd;avx512vl;avx512bw;avx512dq")
  set(_cpu_avx512_cannonlake "avx512f;avx512cd;avx512vl;avx512bw;avx512dq;avx512ifma;avx512vbmi")
  set(_variants "")
  set(_tests "")
  set(_i 0)
  foreach(t IN LISTS _mira_halide_targets)
    if(NOT t MATCHES "^x86-64-")
      message(FATAL_ERROR "MIRA_HALIDE_TARGET: run-time choice is made among x86-64 targets only (${t})")
    endif()
    string(REPLACE "-" ";" _parts "${t}")
    list(REMOVE_AT _parts 0 1 2)  # x86 64 <os>
    set(_checks "")
    foreach(f IN LISTS _parts)
      if(NOT DEFINED _cpu_${f})
        message(FATAL_ERROR "MIRA_HALIDE_TARGET: no processor test for feature '${f}' of ${t}")
      endif()
      foreach(c IN LISTS _cpu_${f})
        string(APPEND _checks " && __builtin_cpu_supports(\"${c}\")")
      endforeach()
    endforeach()
    string(APPEND _variants " X(P, v${_i})")
    string(APPEND _tests "    case ${_i}: return true${_checks};\n")
    math(EXPR _i "${_i} + 1")
  endforeach()
  set(_includes "")
  foreach(p IN LISTS MIRA_HALIDE_PIPELINES)
    set(_i 0)
    set(_decl_includes "")
    foreach(t IN LISTS _mira_halide_targets)
      _mira_add_pipeline(${p}_v${_i} ${p} ${t})
      string(APPEND _decl_includes "#include \"${p}_v${_i}.h\"\n")
      math(EXPR _i "${_i} + 1")
    endforeach()
    file(CONFIGURE OUTPUT ${_dir}/${p}.h CONTENT
"// Generated by cmake/MiraHalide.cmake: ${p} chooses among its compiled
// versions at run time.
#pragma once
#include <HalideRuntime.h>
${_decl_includes}
extern \"C\" {
decltype(${p}_v0) ${p};
int ${p}_argv(void** args);
const struct halide_filter_metadata_t* ${p}_metadata(void);
}
")
    string(APPEND _includes "#include \"${p}.h\"\n")
  endforeach()
  file(CONFIGURE OUTPUT ${_dir}/pipeline_versions.h CONTENT
"// Generated by cmake/MiraHalide.cmake: the compiled versions of every
// pipeline, best first, and the processor test of each.
#pragma once
${_includes}
#define MIRA_PIPELINE_VERSIONS(X, P)${_variants}
constexpr int kMiraPipelineVersions = ${MIRA_HALIDE_VERSIONS};
// Whether this processor runs version i (call __builtin_cpu_init first).
inline bool mira_pipeline_runs(int i) {
  switch (i) {
${_tests}  }
  return false;
}
")
  target_include_directories(mira_objects BEFORE PUBLIC ${_dir})
  target_sources(mira_objects PRIVATE ${_mira_pipe_dir}/pipeline_dispatch.cpp)
endif()
target_link_libraries(mira_objects PUBLIC ${_mira_halide_runtime})

# Headers of the single-factor pipelines, named as Halide names a pipeline's
# header, declaring them as their generated headers would.
set(_alias_dir ${CMAKE_CURRENT_BINARY_DIR}/pipeline_aliases)
file(MAKE_DIRECTORY ${_alias_dir})
foreach(p IN LISTS MIRA_SINGLE_FACTOR_PIPELINES)
  string(REPLACE "_U8_HALIDE" "_XY_U8_HALIDE" _general ${p})
  if(p STREQUAL "MIRA_IMAGE_UP_LANCZOS_U8_HALIDE")
    set(_args "halide_buffer_t* input, float scale_factor, halide_buffer_t* output")
  else()
    set(_args "halide_buffer_t* input, float scale_factor, int32_t border_type, uint8_t border_value, halide_buffer_t* output")
  endif()
  file(CONFIGURE OUTPUT ${_alias_dir}/${p}.h CONTENT
"// Generated by cmake/MiraHalide.cmake: ${p}, one factor for both axes,
// over ${_general}.
#pragma once
#include <stdint.h>
#include <HalideRuntime.h>
#include \"${_general}.h\"
extern \"C\" {
int ${p}(${_args});
int ${p}_argv(void** args);
const struct halide_filter_metadata_t* ${p}_metadata(void);
}
")
endforeach()
target_include_directories(mira_objects BEFORE PUBLIC ${_alias_dir})
target_sources(mira_objects PRIVATE ${_mira_pipe_dir}/scale_pipelines.cpp)

# libmira exports the runtime's C entry points (halide_*) only: its internal
# C++ names and helpers are made local to the runtime object.
if(CMAKE_OBJCOPY)
  set(MIRA_OBJCOPY ${CMAKE_OBJCOPY})
else()
  find_program(MIRA_OBJCOPY NAMES objcopy llvm-objcopy)
endif()
if(MIRA_OBJCOPY)
  set(_mira_localize -w "--localize-symbol=_ZN6Halide*" "--localize-symbol=_ZTVN6Halide*"
                     "--localize-symbol=_ZTIN6Halide*" "--localize-symbol=_ZTSN6Halide*"
                     --localize-symbol=copy_to_device_already_locked)
  get_target_property(_mira_rt_imported ${_mira_halide_runtime} IMPORTED)
  if(_mira_rt_imported)
    get_target_property(_mira_rt_file ${_mira_halide_runtime} IMPORTED_LOCATION)
    add_custom_command(TARGET ${_mira_halide_runtime}.update POST_BUILD
                       COMMAND ${MIRA_OBJCOPY} ${_mira_localize} ${_mira_rt_file} VERBATIM)
  else()
    add_custom_command(TARGET ${_mira_halide_runtime} POST_BUILD
                       COMMAND ${MIRA_OBJCOPY} ${_mira_localize} $<TARGET_FILE:${_mira_halide_runtime}>
                       VERBATIM)
  endif()
else()
  message(WARNING "objcopy not found: libmira will also export the Halide runtime's internal names")
endif()
