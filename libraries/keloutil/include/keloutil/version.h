/* SPDX-License-Identifier: MIT */
/** @file
 * The library's version. The texts and the numbers are static data of the
 * library and are never released. */
#ifndef KELOUTIL_VERSION_H
#define KELOUTIL_VERSION_H

#include <stdint.h>

#include <keloutil/export.h>

KELOUTIL_BEGIN_C

/** "5.0.31.0" */
KELOUTIL_C_API const char* keloUtilVersionString(void);
/** "a" */
KELOUTIL_C_API const char* keloUtilVersionModifierString(void);
/** "5a": the major version and the modifier */
KELOUTIL_C_API const char* keloUtilFrameworkVersionString(void);
/** The four numbers of the version in order: 5, 0, 31, 0. */
KELOUTIL_C_API const int32_t* keloUtilBuildInformation(void);

KELOUTIL_END_C

#endif /* KELOUTIL_VERSION_H */
