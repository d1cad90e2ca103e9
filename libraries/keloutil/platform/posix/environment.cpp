// The process environment on POSIX systems, where its text is UTF-8.
#include "platform/os.h"

#include <cstdlib>

namespace keloutil::os {

const char* platform_name() { return "Linux"; }

str_t* environment_variable(const char* name) {
    const char* value = name != nullptr ? std::getenv(name) : nullptr;
    return value != nullptr ? str_from_utf8(value) : nullptr;
}

} // namespace keloutil::os
