# Cross build for 64-bit ARM Linux with Debian's cross toolchain
# (g++-aarch64-linux-gnu, libc6-dev-arm64-cross); test programs run under
# qemu-aarch64 with the cross sysroot. scripts/cross-test.sh drives it.
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64-linux-gnu.cmake
#
#   -DMIRA_CROSS_COMPILER=clang   compile with clang --target=aarch64-linux-gnu
#                                 (the NDK's compiler) against the same cross
#                                 libraries instead of aarch64-linux-gnu-g++
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(MIRA_CROSS_TRIPLE aarch64-linux-gnu CACHE STRING "GNU triple of the cross toolchain")
set(MIRA_CROSS_SYSROOT /usr/${MIRA_CROSS_TRIPLE} CACHE PATH "Target libraries for the emulator")

set(MIRA_CROSS_COMPILER gcc CACHE STRING "gcc (the cross g++) or clang")
if(MIRA_CROSS_COMPILER STREQUAL "clang")
  find_program(MIRA_CROSS_CLANG NAMES clang clang-16 clang-15 clang-14 REQUIRED)
  find_program(MIRA_CROSS_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14 REQUIRED)
  set(CMAKE_C_COMPILER ${MIRA_CROSS_CLANG})
  set(CMAKE_CXX_COMPILER ${MIRA_CROSS_CLANGXX})
  set(CMAKE_C_COMPILER_TARGET ${MIRA_CROSS_TRIPLE})
  set(CMAKE_CXX_COMPILER_TARGET ${MIRA_CROSS_TRIPLE})
else()
  set(CMAKE_C_COMPILER ${MIRA_CROSS_TRIPLE}-gcc)
  set(CMAKE_CXX_COMPILER ${MIRA_CROSS_TRIPLE}-g++)
endif()
set(CMAKE_LIBRARY_ARCHITECTURE ${MIRA_CROSS_TRIPLE})

# Test programs (add_test with a target as command) run through the emulator,
# pinned to the cross toolchain's libraries. -L alone is not enough: the
# guest's ld.so reads the host's /etc/ld.so.cache, and once arm64 packages are
# installed on the host (multiarch libc6:arm64 and friends) it loads
# /lib/aarch64-linux-gnu from there instead, and the test programs run orders
# of magnitude slower. LD_LIBRARY_PATH is searched before the cache.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${MIRA_CROSS_SYSROOT}
    -E LD_LIBRARY_PATH=${MIRA_CROSS_SYSROOT}/lib)

# Target libraries come from the cross sysroot only, never from the host's
# multiarch folders; architecture-independent headers (OpenCL, Halide runtime)
# may come from /usr/include; host programs from the host.
set(CMAKE_FIND_ROOT_PATH ${MIRA_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Halide's CMake helpers are architecture independent: take the host's. The
# pipelines are generated for arm-64-linux by the generator of a host build
# (pass -DMIRA_HALIDE_GENERATOR=<host build>/mira_pipeline_generator).
file(GLOB _mira_host_halide LIST_DIRECTORIES true /usr/lib/*/cmake/HalideHelpers*)
list(FILTER _mira_host_halide EXCLUDE REGEX "/${MIRA_CROSS_TRIPLE}/")
if(NOT DEFINED HalideHelpers_DIR AND _mira_host_halide)
  list(GET _mira_host_halide 0 _mira_helpers)
  string(REPLACE "HalideHelpers" "Halide" _mira_halide "${_mira_helpers}")
  set(HalideHelpers_DIR ${_mira_helpers} CACHE PATH "Host Halide's CMake helpers")
  set(Halide_DIR ${_mira_halide} CACHE PATH "Host Halide's CMake package")
endif()
