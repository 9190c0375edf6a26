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

find_package(Halide REQUIRED)

if(ANDROID)
  set(_mira_halide_default "arm-64-android")
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "aarch64|arm64|ARM64")
  set(_mira_halide_default "arm-64-linux")
else()
  set(_mira_halide_default "x86-64-linux-sse41")
endif()
set(MIRA_HALIDE_TARGET "${_mira_halide_default}" CACHE STRING
    "Halide target (or comma-separated targets) of the scaling pipelines")
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
  # The generator runs at build time only: optimise it and keep it quiet.
  target_compile_options(mira_pipeline_generator PRIVATE -O1 -w)
endif()

string(REPLACE "," ";" _mira_halide_targets "${MIRA_HALIDE_TARGET}")

set(MIRA_HALIDE_PIPELINES
  MIRA_SCALEDOWN_U8_HALIDE
  MIRA_IMAGE_UP_LANCZOS_U8_HALIDE
  MIRA_IMAGE_UP_NONE_U8_HALIDE
  MIRA_IMAGE_DOWN_NONE_U8_HALIDE
  MIRA_IMAGE_UP_BOX_U8_HALIDE
  MIRA_IMAGE_DOWN_BOX_U8_HALIDE
  MIRA_IMAGE_UP_BILINEAR_U8_HALIDE
  MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE)

set(_mira_halide_runtime "")
foreach(p IN LISTS MIRA_HALIDE_PIPELINES)
  if(_mira_halide_runtime STREQUAL "")
    add_halide_library(${p} FROM mira_pipeline_generator GENERATOR ${p} FUNCTION_NAME ${p}
                       TARGETS ${_mira_halide_targets})
    set(_mira_halide_runtime ${p}.runtime)
  else()
    add_halide_library(${p} FROM mira_pipeline_generator GENERATOR ${p} FUNCTION_NAME ${p}
                       TARGETS ${_mira_halide_targets} USE_RUNTIME ${_mira_halide_runtime})
  endif()
  target_link_libraries(mira_objects PUBLIC ${p})
endforeach()
target_link_libraries(mira_objects PUBLIC ${_mira_halide_runtime})
