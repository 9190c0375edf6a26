# The OpenCL kernel table. Every kernels/<name>.cl whose name is one of the 27
# kernels of the library becomes that entry's source text in the generated
# ZOR::program_map; a kernel without a file (or one of the four kernels that
# are empty by design) gets an empty source. No source is pasted into C++ by
# hand.
#
# A kernel file may pull in shared helper code with a line
#   #include "common/<name>.clh"
# (kernels/common/<name>.clh). The line is replaced by that file's text when
# the table is generated, so every kernel's source string stands alone and
# the runtime builds it with the same options as before; the line also works
# for an OpenCL compiler given -I kernels. Helper files include nothing.
#
# This file has two roles:
#  - included from CMakeLists.txt: globs kernels/*.cl (CONFIGURE_DEPENDS, so a
#    newly added file re-runs the configure step) and adds a build step that
#    regenerates the table whenever one of the files changes;
#  - run as a script (cmake -P) by that build step: writes the table.

set(MIRA_KERNEL_NAMES
  mira_fcvColorCbCrSwapu8_func
  mira_fcvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8_func
  mira_fcvColorYUV420toRGB8888u8_func
  mira_fcvColorYCbCr420PseudoPlanarToYCbCr444Planaru8_func
  mira_fcvColorYCbCr422PseudoPlanarToRGBA8888u8_func
  mira_fcvScaleDownu8_v2_func
  mira_fcvScaleUpPolyu8_func
  mira_fcvScaleUpPolyInterleaveu8_func
  mira_fcvUpsample2DInterleavedu8_func
  mira_fcvScaleDownMNInterleaveu8_func
  mira_fcvScaleu8_v2_func
  mira_fcvScaleDownMNu8_func
  mira_fcvFilterGaussian3x3u8_func
  mira_fcvImageGradientPlanars16_v2_func
  mira_fcvImageGradientSobelPlanars16_v3_func
  mira_fcvImageIntensityStats_func
  mira_fcvFloodfillSimpleu8_func
  mira_fcvTransformAffineClippedu8_nearest_func
  mira_fcvTransformAffineClippedu8_linear_func
  mira_fcvTransformAffineClippedu8_cubic_func
  mira_fcvTransposeu8_func
  mira_fcvRotateImageu8_func
  mira_fcvInterleaveu8_func
  mira_fcvRotateImageInterleavedu8_func
  mira_fcvColorYUV420ToRGBu8_func
  mira_fcvColorRGBToYUV420u8_func
  mira_fcvColorYUV420ToRGBTransformu8_func)
# Kernels whose source is empty whatever the kernels/ folder holds.
set(MIRA_KERNEL_EMPTY
  mira_fcvScaleUpPolyu8_func
  mira_fcvScaleUpPolyInterleaveu8_func
  mira_fcvScaleu8_v2_func
  mira_fcvFloodfillSimpleu8_func)

if(CMAKE_SCRIPT_MODE_FILE)
  # ------------------------------------------------------------ generator
  if(NOT DEFINED MIRA_KERNEL_DIR OR NOT DEFINED MIRA_KERNEL_OUT OR NOT DEFINED MIRA_KERNEL_IDS)
    message(FATAL_ERROR "MIRA_KERNEL_DIR, MIRA_KERNEL_OUT and MIRA_KERNEL_IDS are required")
  endif()
  set(delim "mira_cl")
  set(body "")
  set(ptrs "")
  set(ids "")
  set(idx 0)
  foreach(name IN LISTS MIRA_KERNEL_NAMES)
    set(file "${MIRA_KERNEL_DIR}/${name}.cl")
    list(FIND MIRA_KERNEL_EMPTY ${name} empty_idx)
    if(empty_idx EQUAL -1 AND EXISTS "${file}")
      file(READ "${file}" text)
      string(REGEX MATCHALL "#include \"common/[A-Za-z0-9_]+\\.clh\"" includes "${text}")
      list(REMOVE_DUPLICATES includes)
      foreach(line IN LISTS includes)
        string(REGEX REPLACE "^#include \"(common/[A-Za-z0-9_]+\\.clh)\"$" "\\1" part "${line}")
        if(NOT EXISTS "${MIRA_KERNEL_DIR}/${part}")
          message(FATAL_ERROR "${file}: ${MIRA_KERNEL_DIR}/${part} not found")
        endif()
        file(READ "${MIRA_KERNEL_DIR}/${part}" prelude)
        string(REPLACE "${line}\n" "${prelude}" text "${text}")
      endforeach()
      string(FIND "${text}" "#include" nested)
      if(NOT nested EQUAL -1)
        message(FATAL_ERROR "${file}: only lines #include \"common/<name>.clh\" are expanded, "
                            "and helper files include nothing")
      endif()
      string(FIND "${text}" ")${delim}\"" clash)
      if(NOT clash EQUAL -1)
        message(FATAL_ERROR "${file} contains the raw-string delimiter )${delim}\"")
      endif()
      string(APPEND body "static const char kSource${idx}[] = R\"${delim}(${text})${delim}\";\n")
    else()
      string(APPEND body "static const char* const kSource${idx} = kEmptySource;\n")
    endif()
    string(APPEND ptrs "    {\"${name}\", kSource${idx}},\n")
    string(APPEND exported "MIRA_EXPORT const char* ${name} = kSource${idx};\n")
    string(REGEX REPLACE "^mira_fcv(.*)_func$" "\\1" id "${name}")
    string(APPEND ids "    ${id} = ${idx},  // ${name}\n")
    math(EXPR idx "${idx} + 1")
  endforeach()
  set(content "// Generated from kernels/*.cl by cmake/MiraKernels.cmake. Do not edit.
#include \"gpu/src/inc/program_map.h\"

namespace {
const char kEmptySource[] = \"\";
${body}}  // namespace

namespace ZOR {
// (exported by its declaration in program_map.h; g++ ignores, with a
// warning, a visibility attribute repeated on the definition)
const program_entry program_map[kProgramCount] = {
${ptrs}};
}  // namespace ZOR

extern \"C\" {
${exported}}
")
  set(id_content "// Generated from MIRA_KERNEL_NAMES by cmake/MiraKernels.cmake. Do not edit.
// The ids of the kernel table: a feature names its kernel by id, never by a
// typed string; the id is the kernel's row in ZOR::program_map.
#pragma once

#include \"gpu/src/inc/program_map.h\"

namespace ZOR {

enum class kernel_id : int {
${ids}};
static_assert(${idx} == kProgramCount, \"one id per row of the kernel table\");

// The kernel's name as the runtime builds and caches it.
inline const char* kernel_name(kernel_id id) { return program_map[static_cast<int>(id)].name; }

}  // namespace ZOR
")
  # Only touch a file when its text changes, so nothing recompiles needlessly.
  foreach(pair "MIRA_KERNEL_OUT;content" "MIRA_KERNEL_IDS;id_content")
    list(GET pair 0 out_var)
    list(GET pair 1 text_var)
    if(EXISTS "${${out_var}}")
      file(READ "${${out_var}}" old)
    else()
      set(old "")
    endif()
    if(NOT old STREQUAL "${${text_var}}")
      file(WRITE "${${out_var}}" "${${text_var}}")
    endif()
  endforeach()
  return()
endif()

# -------------------------------------------------------------- included
file(GLOB MIRA_KERNEL_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/kernels/*.cl
     ${PROJECT_SOURCE_DIR}/kernels/common/*.clh)
set(MIRA_KERNEL_TABLE ${PROJECT_BINARY_DIR}/generated/mira_program_map.cpp)
set(MIRA_KERNEL_ID_HEADER ${PROJECT_BINARY_DIR}/generated/mira_kernel_ids.h)
add_custom_command(
  OUTPUT ${MIRA_KERNEL_TABLE} ${MIRA_KERNEL_ID_HEADER}
  COMMAND ${CMAKE_COMMAND} -DMIRA_KERNEL_DIR=${PROJECT_SOURCE_DIR}/kernels
          -DMIRA_KERNEL_OUT=${MIRA_KERNEL_TABLE} -DMIRA_KERNEL_IDS=${MIRA_KERNEL_ID_HEADER}
          -P ${PROJECT_SOURCE_DIR}/cmake/MiraKernels.cmake
  DEPENDS ${MIRA_KERNEL_FILES} ${PROJECT_SOURCE_DIR}/cmake/MiraKernels.cmake
  COMMENT "Generating the OpenCL kernel table"
  VERBATIM)
target_sources(mira_objects PRIVATE ${MIRA_KERNEL_TABLE} ${MIRA_KERNEL_ID_HEADER})
target_include_directories(mira_objects PUBLIC $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/generated>)

# OpenCL is loaded at run time: headers only, no link against libOpenCL. The
# Khronos headers are the same for every target, so the host's copy serves
# cross builds too; only the CL folder is copied into the build tree, so no
# host include directory reaches a cross compiler.
find_path(MIRA_OPENCL_INCLUDE_DIR CL/cl.h NO_CMAKE_FIND_ROOT_PATH)
if(NOT MIRA_OPENCL_INCLUDE_DIR)
  message(FATAL_ERROR "OpenCL headers not found (install opencl-headers)")
endif()
file(COPY ${MIRA_OPENCL_INCLUDE_DIR}/CL DESTINATION ${PROJECT_BINARY_DIR}/opencl-headers)
target_include_directories(mira_objects PUBLIC
  $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/opencl-headers>)
target_compile_definitions(mira_objects PRIVATE CL_TARGET_OPENCL_VERSION=200
                                                 CL_USE_DEPRECATED_OPENCL_1_2_APIS)
if(ANDROID)
  find_library(MIRA_ANDROID_LOG log)
  target_link_libraries(mira_objects PUBLIC ${MIRA_ANDROID_LOG})
endif()
