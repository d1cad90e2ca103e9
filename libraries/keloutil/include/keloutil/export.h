/* Export and linkage macros shared by every public header of keloutil.
 *
 * KELOUTIL_API marks what the shared library exports. The library is built
 * with hidden visibility, so anything without this mark stays internal.
 * KELOUTIL_BUILDING is defined only while the library itself is compiled. */
#ifndef KELOUTIL_EXPORT_H
#define KELOUTIL_EXPORT_H

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(KELOUTIL_BUILDING)
#    define KELOUTIL_API __declspec(dllexport)
#  elif defined(KELOUTIL_STATIC)
#    define KELOUTIL_API
#  else
#    define KELOUTIL_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define KELOUTIL_API __attribute__((visibility("default")))
#else
#  define KELOUTIL_API
#endif

#ifdef __cplusplus
#  define KELOUTIL_BEGIN_C extern "C" {
#  define KELOUTIL_END_C }
#else
#  define KELOUTIL_BEGIN_C
#  define KELOUTIL_END_C
#endif

#endif /* KELOUTIL_EXPORT_H */
