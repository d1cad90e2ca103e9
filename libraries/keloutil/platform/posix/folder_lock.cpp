// SPDX-License-Identifier: MIT
// Folder locks on POSIX systems: flock on the folder itself, so that the
// lock belongs to the folder's identity, whatever path led to it and
// whichever account asks. The kernel releases it when its holder ends.
#include "platform/os.h"
#include "platform/posix/library_form.h"
#include "platform/posix/native_paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace keloutil::os {

intptr_t lock_folder_of(const str_t* file) {
    const std::string path = native_text(file);
    if (path.empty()) return -1;
    // The final target of a link lies in its own folder.
    const int fd = open(folder_of(final_target(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int result;
    while ((result = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void unlock_folder(intptr_t lock) {
    if (lock >= 0) close(static_cast<int>(lock)); // which releases the flock
}

} // namespace keloutil::os
