// SPDX-License-Identifier: MIT
// The string class brings only the string and memory interfaces with it:
// code that includes it alone does not meet the names of the other C headers.
#include <keloutil/tstr.hpp>

#if defined(KELOUTIL_KELOUTIL_H) || defined(KELOUTIL_PATH_H) || defined(KELOUTIL_LIST_H) || \
    defined(KELOUTIL_HASHMAP_H)
#error "tstr.hpp includes more than c_str.h and memory.h"
#endif

// A name of path.h's, free for the program's own use.
static int path_exists = 0;
int path_exists_is_free() { return path_exists; }
