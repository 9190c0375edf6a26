# Android build (arm64-v8a) with the NDK: a thin layer over the NDK's own
# toolchain file. Nothing here is exercised on the development machines (no
# NDK there); the AArch64 Linux cross build covers the same code.
#
#   cmake -S . -B build-android \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-android-arm64.cmake \
#         -DANDROID_NDK=/path/to/ndk \
#         -DMIRA_HALIDE_GENERATOR=<host build>/mira_pipeline_generator
#
# What differs from a Linux build (see the CMake files and the GPU runtime):
#  - the GPU runtime's log lines also go to liblog (__android_log_print);
#  - the pipelines are generated for arm-64-android;
#  - libOpenCL is still loaded at run time, from the vendor paths as well, and
#    device choice is the same as on every host (the first GPU; other
#    devices only with MIRA_OPENCL_DEVICE in the environment);
#  - tests, benchmarks and the command-line tool are off by default.
if(NOT ANDROID_NDK)
  foreach(_v ANDROID_NDK_HOME ANDROID_NDK_ROOT ANDROID_NDK)
    if(DEFINED ENV{${_v}})
      set(ANDROID_NDK "$ENV{${_v}}")
      break()
    endif()
  endforeach()
endif()
if(NOT ANDROID_NDK OR NOT EXISTS "${ANDROID_NDK}/build/cmake/android.toolchain.cmake")
  message(FATAL_ERROR "Set ANDROID_NDK (or ANDROID_NDK_HOME) to an Android NDK")
endif()
set(ANDROID_NDK "${ANDROID_NDK}" CACHE PATH "Android NDK")

set(ANDROID_ABI arm64-v8a CACHE STRING "Android ABI")
set(ANDROID_PLATFORM android-24 CACHE STRING "Lowest Android API level")
# libmira exports C++ classes: applications share one C++ runtime with it.
set(ANDROID_STL c++_shared CACHE STRING "C++ runtime")
include("${ANDROID_NDK}/build/cmake/android.toolchain.cmake")

set(MIRA_HALIDE_TARGET arm-64-android CACHE STRING "Halide target of the pipelines")
set(MIRA_BUILD_TESTS OFF CACHE BOOL "Build the test suite")
set(MIRA_BUILD_BENCH OFF CACHE BOOL "Build the benchmarks")
set(MIRA_BUILD_TOOLS OFF CACHE BOOL "Build the mira command-line tool")

# The NDK restricts searches to its sysroot; Halide's CMake helpers are
# architecture independent and come from the host (the OpenCL headers are
# copied into the build tree by cmake/MiraKernels.cmake).
file(GLOB _mira_host_halide LIST_DIRECTORIES true /usr/lib/*/cmake/HalideHelpers*)
if(NOT DEFINED HalideHelpers_DIR AND _mira_host_halide)
  list(GET _mira_host_halide 0 _mira_helpers)
  set(HalideHelpers_DIR ${_mira_helpers} CACHE PATH "Host Halide's CMake helpers")
endif()
