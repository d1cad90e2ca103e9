/* SPDX-License-Identifier: MIT */
// Which of the library's static objects are alive, for the test build to
// check their order of construction and destruction (library_statics.cpp).
#ifndef KELOUTIL_LIBRARY_STATICS_H
#define KELOUTIL_LIBRARY_STATICS_H

namespace keloutil {

enum StaticObject : unsigned {
    null_string_object = 1,
    custom_environment_object = 2,
    locale_manager_object = 4,
};

#ifdef KELOUTIL_FAULT_INJECTION
// The StaticObject bits of the objects that have been constructed and whose
// destruction has not begun.
unsigned live_static_objects();
#endif

} // namespace keloutil

#endif // KELOUTIL_LIBRARY_STATICS_H
