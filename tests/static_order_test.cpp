// SPDX-License-Identifier: MIT
// The library's static objects at unload: a clean-up registered with the
// object manager runs after the custom environment and the locale manager
// are gone and while TStr::null still lives. main returns a failure; only
// the clean-up, run during the library's static destruction, can turn the
// exit status into 0.
#include <keloutil/keloutil.hpp>

#include "library_statics.h"

#include <cstdio>
#include <cstdlib>

namespace {

void check_order(void*, void*) {
    const unsigned live = keloutil::live_static_objects();
    const bool right = live == keloutil::null_string_object && TStr::null.isNull();
    if (!right) std::fprintf(stderr, "static objects alive during the clean-ups: %#x\n", live);
    std::fflush(stderr);
    std::_Exit(right ? 0 : 3);
}

} // namespace

int main() {
    const unsigned all = keloutil::null_string_object | keloutil::custom_environment_object |
                         keloutil::locale_manager_object;
    if (keloutil::live_static_objects() != all) return 4;
    static char registration;
    if (CKeloUtilObjectManager::at_exit(&registration, check_order, nullptr) != 0) return 5;
    std::fprintf(stderr, "the clean-up did not run\n");
    return 6;
}
