// Kernel table lookup and the kernel registry.
#include <strings.h>

#include "program_map.h"

namespace ZOR {

const char* find_program_value_by_key(const char* name) {
    if (!name) return nullptr;
    for (const program_entry& e : program_map)
        if (strcasecmp(name, e.name) == 0) return e.source;
    return nullptr;
}

}  // namespace ZOR
