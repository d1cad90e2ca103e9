// SPDX-License-Identifier: MIT
// The library's version, published as static data. The numbers come from
// the project() version in the top-level CMakeLists.txt, the one place
// where the version is set.
#include <keloutil/version.h>

#define KELOUTIL_TEXT_(x) #x
#define KELOUTIL_TEXT(x) KELOUTIL_TEXT_(x)

extern "C" {

const char* keloUtilVersionString(void) {
    return KELOUTIL_TEXT(KELOUTIL_VERSION_MAJOR) "." KELOUTIL_TEXT(KELOUTIL_VERSION_MINOR) "." //
        KELOUTIL_TEXT(KELOUTIL_VERSION_PATCH) "." KELOUTIL_TEXT(KELOUTIL_VERSION_TWEAK);
}

const char* keloUtilVersionModifierString(void) { return KELOUTIL_VERSION_MODIFIER; }

const char* keloUtilFrameworkVersionString(void) {
    return KELOUTIL_TEXT(KELOUTIL_VERSION_MAJOR) KELOUTIL_VERSION_MODIFIER;
}

const int32_t* keloUtilBuildInformation(void) {
    static const int32_t numbers[4] = {KELOUTIL_VERSION_MAJOR, KELOUTIL_VERSION_MINOR,
                                       KELOUTIL_VERSION_PATCH, KELOUTIL_VERSION_TWEAK};
    return numbers;
}

} // extern "C"
