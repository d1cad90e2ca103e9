/* SPDX-License-Identifier: MIT */
// Native POSIX paths, for the parts of the seam that work on a file's
// folder: the final target of a link and the folder that holds a file.
#ifndef KELOUTIL_PLATFORM_POSIX_NATIVE_PATHS_H
#define KELOUTIL_PLATFORM_POSIX_NATIVE_PATHS_H

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace keloutil::os {

// The folder that holds the file at `path`.
inline std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The final target of a path: links followed, as far as they lead. A link
// to a file that does not exist yet leads to where that file will be, so
// that its first write and every later one name the same file.
inline std::string final_target(std::string path) {
    for (int links = 0; links < 40; ++links) { // as many as the kernel follows
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
            return path;
        }
        char target[4096];
        const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length <= 0) return path;
        const std::string next(target, static_cast<size_t>(length));
        path = next.front() == '/' ? next : folder_of(path) + "/" + next;
    }
    return path;
}

} // namespace keloutil::os

#endif // KELOUTIL_PLATFORM_POSIX_NATIVE_PATHS_H
