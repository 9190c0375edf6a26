// The table of embedded OpenCL kernel sources, generated at build time from
// kernels/*.cl (cmake/MiraKernels.cmake).
#pragma once

#include "mira/mira_types.h"

namespace ZOR {

struct program_entry {
    const char* name;    // kernel name
    const char* source;  // whole OpenCL C program text; "" for an empty kernel
};

constexpr int kProgramCount = 24;
MIRA_EXPORT extern const program_entry program_map[kProgramCount];

// Source of the kernel `name` (letter case ignored), or null for a null or
// unknown name. An empty kernel gives "", not null.
MIRA_EXPORT const char* find_program_value_by_key(const char* name);

}  // namespace ZOR
