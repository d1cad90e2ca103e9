// SPDX-License-Identifier: MIT
// File-system paths: separator-list operations with "\\" on str_t text, and
// the file-system queries, which go through the platform seam.
#include <keloutil/c_str.h>
#include <keloutil/path.h>

#include <cstring>
#include <type_traits>

#include "c_str_internal.h"
#include "guarded.h"
#include "platform/os.h"

static_assert(std::is_same_v<path_status_t, keloutil::os::FileStatus>,
              "path_stat hands the platform's status record to its caller as it is");

namespace {

// The separator texts as the list operations take them: records that
// borrow constant text, which those operations only read.
str_t constant(const char* text) { return str_t{const_cast<char*>(text), static_cast<int32_t>(std::strlen(text)) + 1}; }

const str_t separator = constant("\\");
const str_t extension_separator = constant(".");

bool has_text(const str_t* path) { return path != nullptr && path->buffer != nullptr; }

// A copy of the path, made as str_dup makes it; NULL when memory runs out.
str_t* copy_of(const str_t* path) { return keloutil::text_or_null(str_dup(path)); }

} // namespace

extern "C" {

void path_localise(str_t* path) {
    // "/" never occurs inside a multi-byte UTF-8 character, so bytes will do.
    if (!has_text(path) || path->capacity == 0) return;
    // str_len bounds the text by the capacity, as every string operation does.
    char* const end = path->buffer + str_len(path);
    for (char* c = path->buffer; c != end; ++c)
        if (*c == '/') *c = '\\';
}

str_t* path_cwd(void) {
    return keloutil::guarded<str_t*>(nullptr, [] { return keloutil::text_or_null(keloutil::os::current_directory()); });
}

int32_t path_is_absolute(str_t* path) {
    if (str_len(path) >= 3 && str_at(path, 1) == ':') return 1;
    return keloutil::os::root_is_absolute() && str_len(path) > 0 && (path->buffer[0] == '\\' || path->buffer[0] == '/');
}

str_t* path_absolute(str_t* path) {
    if (path_is_absolute(path)) return copy_of(path);
    // A join that fails must not leave the working directory alone as
    // the answer.
    str_t* absolute = path_cwd();
    if (absolute == nullptr || !keloutil::text::push_item(absolute, path, &separator)) {
        str_uninit(absolute);
        return nullptr;
    }
    return absolute;
}

int32_t path_chdir(str_t* path) {
    return keloutil::guarded<int32_t>(0, [&]() -> int32_t {
        path_localise(path);
        return keloutil::os::change_directory(path) ? 1 : 0;
    });
}

void path_push(str_t* path, str_t* piece) { str_push(path, piece, &separator); }

void path_unshift(str_t* path, str_t* piece) { str_unshift(path, piece, &separator); }

str_t* path_pop(str_t* path) { return str_pop_str(path, &separator); }

str_t* path_shift(str_t* path) { return str_shift_str(path, &separator); }

str_t* path_ext(str_t* path) {
    path_localise(path);
    if (!has_text(path)) return nullptr;
    // The text after the last "." (not one at index 0), when no "\\"
    // follows that dot: otherwise the dot belongs to an earlier component.
    str_t* rest = copy_of(path);
    str_t* extension = str_pop_str(rest, &extension_separator);
    const bool found = !str_null(rest);
    str_uninit(rest);
    if (extension != nullptr && (!found || std::strchr(extension->buffer, '\\') != nullptr))
        str_set(extension, "", 0, STR_ENC_UTF8);
    return extension;
}

str_t* path_basename(str_t* path) {
    path_localise(path);
    str_t* rest = copy_of(path);
    str_t* last = path_pop(rest);
    str_uninit(rest);
    return last;
}

str_t* path_dirname(str_t* path) {
    path_localise(path);
    str_t* rest = copy_of(path);
    str_t* last = path_pop(rest); // NULL only when memory runs out
    if (last == nullptr) {
        str_uninit(rest);
        return nullptr;
    }
    str_uninit(last);
    return rest;
}

int32_t path_permissions(str_t* path) {
    path_localise(path);
    return 0;
}

int32_t path_chmod(str_t* path, int32_t) {
    path_localise(path);
    return 1;
}

int32_t path_stat(str_t* path, path_status_t* status) {
    return keloutil::guarded<int32_t>(0, [&]() -> int32_t {
        path_localise(path);
        path_status_t own;
        if (status == nullptr) status = &own;
        std::memset(status, 0, sizeof *status);
        // Existence comes from the existence query alone; the status call then
        // fills in what it can.
        const bool exists = keloutil::os::file_exists(path);
        keloutil::os::file_status(path, status);
        return exists ? 1 : 0;
    });
}

int32_t path_exists(str_t* path) { return path_stat(path, nullptr); }

int32_t path_is_file(str_t* path) {
    path_status_t status;
    return path_stat(path, &status) && (status.st_mode & 0x8000) != 0;
}

int32_t path_is_dir(str_t* path) {
    path_status_t status;
    return path_stat(path, &status) && (status.st_mode & 0x4000) != 0;
}

int32_t path_size(str_t* path) {
    path_status_t status;
    if (!path_stat(path, &status)) return 0;
    return status.st_size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(status.st_size);
}

int32_t path_is_writable(str_t* path) {
    return keloutil::guarded(0, [&] { return keloutil::os::may_access(path, true) ? 1 : 0; });
}

int32_t path_is_readable(str_t* path) {
    return keloutil::guarded(0, [&] { return keloutil::os::may_access(path, false) ? 1 : 0; });
}

FILE* path_fopen(str_t* path, const char* mode) {
    return keloutil::guarded<FILE*>(nullptr, [&]() -> FILE* {
        path_localise(path);
        if (str_len(path) == 0 || mode == nullptr) return nullptr;
        return keloutil::os::open_file(path, mode);
    });
}

int32_t path_mkdir(str_t* path, int32_t mode) {
    return keloutil::guarded<int32_t>(0, [&]() -> int32_t {
        path_localise(path);
        return keloutil::os::make_directory(path, mode) == 0 ? 1 : 0;
    });
}

int32_t path_rmdir(str_t* path) {
    return keloutil::guarded<int32_t>(-1, [&]() -> int32_t {
        path_localise(path);
        return keloutil::os::remove_directory(path);
    });
}

int32_t path_unlink(str_t* path) {
    return keloutil::guarded<int32_t>(-1, [&]() -> int32_t {
        path_localise(path);
        return keloutil::os::remove_file(path);
    });
}

} // extern "C"
