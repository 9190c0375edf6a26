# Compiler settings shared by every target.
find_package(Threads REQUIRED)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra)
  # Floating-point code is evaluated as written: no fused multiply-add
  # contraction (g++ contracts by default on AArch64, clang within
  # expressions), so the float steps of the affine spans, weights and
  # statistics give the same bits on AArch64 as on x86, and vmla stays an
  # unfused multiply then add as the NEON intrinsic defines it.
  add_compile_options(-ffp-contract=off)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
    # x86-64-v2 (SSE4.2) so the NEON emulation maps to real vector instructions.
    add_compile_options(-msse4.2 -mpopcnt -mcx16 -msahf)
  endif()
endif()

if(MIRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(MIRA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# CPU kernels: the vector code is at least -O1 in every configuration (the
# emulated intrinsics are far too slow unoptimised) and -O3 in Release.
function(mira_kernel_flags target)
  target_compile_options(${target} PRIVATE $<$<CONFIG:Debug>:-O1>)
  target_compile_options(${target} PRIVATE $<$<CONFIG:Release,RelWithDebInfo>:-O3>)
endfunction()
