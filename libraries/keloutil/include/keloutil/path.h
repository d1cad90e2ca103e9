/* SPDX-License-Identifier: MIT */
/** @file
 * File-system paths.
 *
 * A path is a str_t whose UTF-8 text is read with path rules: components
 * are separated by one backslash, an extension follows the last "." of the
 * last component, and "/" is accepted on input: the functions marked
 * "localises" rewrite every "/" of the caller's path to `\` first, in place.
 * The library never produces "/". The same text rules hold on every
 * platform; where a path reaches the operating system, the platform's
 * native form is made from it (on POSIX systems `\` becomes "/"), and text
 * that comes from the system (the working directory) is turned into this
 * form.
 *
 * A path is absolute when it has at least three characters and the second
 * is ":" (`C:\dir`, `C:dir`); on POSIX systems also when it begins with `\` or
 * "/" (the root).
 *
 * Functions that return a str_t return a new record for str_uninit. */
#ifndef KELOUTIL_PATH_H
#define KELOUTIL_PATH_H

#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <keloutil/c_str.h>
#include <keloutil/export.h>

KELOUTIL_BEGIN_C

/** The runtime's own file status record, as path_stat fills it. Its st_mode
 * has 0x8000 for a regular file and 0x4000 for a directory everywhere. */
#if defined(_WIN32)
typedef struct _stat64i32 path_status_t;
#else
typedef struct stat path_status_t;
#endif

/** The working directory; an empty string when it cannot be read, NULL when
 * memory runs out. */
KELOUTIL_C_API str_t* path_cwd(void);
/** A copy of an absolute path, else the working directory with the path
 * pushed onto it. No normalisation: ".", ".." and doubled separators stay. */
KELOUTIL_C_API str_t* path_absolute(str_t* path);
KELOUTIL_C_API int32_t path_is_absolute(str_t* path);
/** Changes the working directory (localises). 1 on success, 0 on failure. */
KELOUTIL_C_API int32_t path_chdir(str_t* path);

/** Appends / prepends `piece` with exactly one `\` at the join. An empty
 * piece changes nothing; an empty path becomes a copy of the piece. */
KELOUTIL_C_API void path_push(str_t* path, str_t* piece);
KELOUTIL_C_API void path_unshift(str_t* path, str_t* piece);
/** Removes and returns the last component; a `\` at index 0 is never a split
 * point: `C:\a\b` gives b and leaves `C:\a`, `C:\` gives "" and leaves C:, and a
 * path without a split point is returned whole and becomes null. NULL for
 * a path without text. */
KELOUTIL_C_API str_t* path_pop(str_t* path);
/** Removes and returns the first component: `a\b\c` gives a and leaves `b\c`,
 * `\a` gives "" and leaves a. */
KELOUTIL_C_API str_t* path_shift(str_t* path);
/** The extension of the last component ("" for none; localises). */
KELOUTIL_C_API str_t* path_ext(str_t* path);
/** The last component / the path without it (both localise; the path itself
 * keeps its text). */
KELOUTIL_C_API str_t* path_basename(str_t* path);
KELOUTIL_C_API str_t* path_dirname(str_t* path);
/** Rewrites every "/" to `\` in place. */
KELOUTIL_C_API void path_localise(str_t* path);

/** Always 0 / always 1: permissions are neither read nor changed
 * (both localise). */
KELOUTIL_C_API int32_t path_permissions(str_t* path);
KELOUTIL_C_API int32_t path_chmod(str_t* path, int32_t mode);

/** 1 when the file or directory exists (localises). */
KELOUTIL_C_API int32_t path_exists(str_t* path);
/** Clears *status, then fills it from the runtime's status call; returns 1
 * when the file exists (localises). Existence comes from the existence
 * query, so a file that exists but cannot be examined answers 1 with a
 * cleared record. */
KELOUTIL_C_API int32_t path_stat(str_t* path, path_status_t* status);
KELOUTIL_C_API int32_t path_is_file(str_t* path);
KELOUTIL_C_API int32_t path_is_dir(str_t* path);
/** Size in bytes, 0 when it cannot be had (localises). Sizes beyond
 * 2147483647 bytes are reported as 2147483647. */
KELOUTIL_C_API int32_t path_size(str_t* path);
/** 1 when the caller may write / read the file (does not localise). */
KELOUTIL_C_API int32_t path_is_writable(str_t* path);
KELOUTIL_C_API int32_t path_is_readable(str_t* path);

/** Opens the file with an fopen mode such as "rb"; NULL for an empty path or
 * on failure (localises). */
KELOUTIL_C_API FILE* path_fopen(str_t* path, const char* mode);
/** Makes one directory level (localises): 1 on success, 0 on failure. On
 * POSIX systems `mode` gives its permissions (0 means 0777), less the
 * umask; Windows has no use for it. */
KELOUTIL_C_API int32_t path_mkdir(str_t* path, int32_t mode);
/** Remove one directory / one file (localise): 0 on success, -1 on failure. */
KELOUTIL_C_API int32_t path_rmdir(str_t* path);
KELOUTIL_C_API int32_t path_unlink(str_t* path);

KELOUTIL_END_C

#endif /* KELOUTIL_PATH_H */
