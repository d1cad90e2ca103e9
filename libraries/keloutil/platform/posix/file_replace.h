/* SPDX-License-Identifier: MIT */
// Replacing a whole file safely on POSIX systems. The library's settings
// saves and the kelo tool's output files both go through it, so that one
// set of rules decides how a file changes on disk.
#ifndef KELOUTIL_PLATFORM_POSIX_FILE_REPLACE_H
#define KELOUTIL_PLATFORM_POSIX_FILE_REPLACE_H

#include <cstdio>
#include <string>

namespace keloutil::os {

// Writes the regular file `path` (a native path) whole through `write`,
// which is given an open stream and answers whether it wrote everything.
// The content goes to a new temporary file beside the file (mode 0600 until
// it is written and flushed, then given the file's owner and mode) that is
// renamed over it, and the folder is flushed: a reader or a crash meets the
// old content or the new one, never a mix. A symbolic link is followed to
// its final target, replaced in its own folder, so the link stays a link.
// A file that a rename would change into another file (one with further
// hard links, one whose owner cannot be given to a new file, one in a
// folder that refuses new files) is written in place behind a copy of its
// old content, or where no copy can be made, with its space reserved first.
// A file the caller may not write, and a path that leads to anything but a
// regular file, are refused. With `exclusive`, the caller holds the file's
// locks, so temporary files that earlier writes left belong to no live
// write and are removed. Answers true when everything was written; on
// failure errno tells why.
bool replace_file(const std::string& path, bool (*write)(std::FILE* stream, void* context), void* context,
                  bool exclusive);

// A write in place that died leaves the copy of the old content beside the
// file; this puts it back (the caller holds the file's locks). true when
// nothing had to be put back or it was.
bool restore_interrupted_write(const std::string& path);

} // namespace keloutil::os

#endif // KELOUTIL_PLATFORM_POSIX_FILE_REPLACE_H
