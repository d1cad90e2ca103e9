/* SPDX-License-Identifier: MIT */
/** @file
 * The flat interface of keloutil: every record and function that a plain C
 * program (C11 or later) can use. Including this header alone is enough. */
#ifndef KELOUTIL_KELOUTIL_H
#define KELOUTIL_KELOUTIL_H

#include <keloutil/export.h>
#include <keloutil/memory.h>
#include <keloutil/c_str.h>
#include <keloutil/list.h>
#include <keloutil/hashmap.h>
#include <keloutil/path.h>
#include <keloutil/version.h>

#endif /* KELOUTIL_KELOUTIL_H */
