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
  # The SSE4.2 baseline. (A multi-target list such as
  # "x86-64-linux-sse41-avx-avx2,x86-64-linux-sse41" is faster, but Halide 14's
  # dispatch wrapper renames the output argument in the metadata to "output$1".)
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
  # The generator runs at build time only: optimise it, keep it quiet, and
  # leave sanitizers out of it (they would only slow the build down).
  target_compile_options(mira_pipeline_generator PRIVATE -O1 -w)
  if(MIRA_SANITIZE OR MIRA_TSAN)
    target_compile_options(mira_pipeline_generator PRIVATE -fno-sanitize=all)
    target_link_options(mira_pipeline_generator PRIVATE -fno-sanitize=all)
  endif()
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
