/* SPDX-License-Identifier: MIT */
/** @file
 * Export and linkage macros shared by every public header of keloutil.
 *
 * KELOUTIL_C_API marks the functions of the flat interface (and the version
 * functions). On Windows the DLL exports them by their plain names from
 * keloutil.def, so that both architectures share one export list; callers
 * import them.
 * KELOUTIL_API marks the exported classes and C++ functions: dllexport /
 * dllimport on Windows.
 * Elsewhere both give default visibility: the library is built with hidden
 * visibility, so anything without a mark stays internal.
 * KELOUTIL_BUILDING is defined only while the library itself is compiled. */
#ifndef KELOUTIL_EXPORT_H
#define KELOUTIL_EXPORT_H

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(KELOUTIL_BUILDING)
#    define KELOUTIL_API __declspec(dllexport)
#    define KELOUTIL_C_API
#  elif defined(KELOUTIL_STATIC)
#    define KELOUTIL_API
#    define KELOUTIL_C_API
#  else
#    define KELOUTIL_API __declspec(dllimport)
#    define KELOUTIL_C_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define KELOUTIL_API __attribute__((visibility("default")))
#  define KELOUTIL_C_API __attribute__((visibility("default")))
#else
#  define KELOUTIL_API
#  define KELOUTIL_C_API
#endif

#ifdef __cplusplus
#  define KELOUTIL_BEGIN_C extern "C" {
#  define KELOUTIL_END_C }
#else
#  define KELOUTIL_BEGIN_C
#  define KELOUTIL_END_C
#endif

#endif /* KELOUTIL_EXPORT_H */
