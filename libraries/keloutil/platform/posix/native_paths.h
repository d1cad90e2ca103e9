// Native POSIX paths, for the parts of the seam that work on a file's
// folder: the final target of a link and the folder that holds a file.
#ifndef KELOUTIL_PLATFORM_POSIX_NATIVE_PATHS_H
#define KELOUTIL_PLATFORM_POSIX_NATIVE_PATHS_H

#include <keloutil/c_str.h>

#include <cstdlib>
#include <string>

namespace keloutil::os {

// The native copy of a path in the library's form: its UTF-8 text with "/"
// for every "\\". Throws std::bad_alloc when memory runs out.
std::string native_text(const str_t* path);

// The final target of a path: links followed, as far as they lead (the path
// as it is when it leads nowhere).
inline std::string final_target(std::string path) {
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        path = resolved;
        std::free(resolved);
    }
    return path;
}

// The folder that holds the file at `path`.
inline std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace keloutil::os

#endif // KELOUTIL_PLATFORM_POSIX_NATIVE_PATHS_H
