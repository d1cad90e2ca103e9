/* SPDX-License-Identifier: MIT */
// The platform seam: every service that keloutil needs from the operating
// system, named by what it does. It is implemented twice, in platform/posix/
// and platform/win32/; the build compiles exactly one of them. Code above
// this header never includes system headers for these services and never
// tests the platform.
#ifndef KELOUTIL_PLATFORM_OS_H
#define KELOUTIL_PLATFORM_OS_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <keloutil/c_str.h>

class KeloMutexImp;

namespace keloutil::os {

// ---- text ------------------------------------------------------------------

// Bytes of one platform wide character: 2 where wchar_t holds UTF-16 units,
// 4 where it holds UTF-32 code points.
constexpr int32_t wide_char_size = static_cast<int32_t>(sizeof(wchar_t));

// Converts NUL-terminated UTF-8 into the platform's wide characters, the
// terminator included, writing at most `capacity` wide characters. Windows
// converts by the system's rules (ill-formed sequences become U+FFFD);
// where wide characters are UTF-32 the string module's own conversion is
// used, so it agrees with the module's measure of the text. Returns the
// wide characters written (terminator included), or 0 when the text cannot
// be converted or `destination` is too small.
int32_t utf8_to_wide(const char* utf8, wchar_t* destination, int32_t capacity);

// The text in the platform's narrow encoding, for interfaces that take char
// text: the system's ANSI code page on Windows, UTF-8 elsewhere. Writes it
// with its terminator into `destination` of `capacity` bytes; a capacity of
// 0 only measures. Answers the bytes written or needed, terminator
// included, or 0 when the text cannot be converted or does not fit.
int32_t to_narrow(const str_t* text, char* destination, int32_t capacity);

// ---- files and directories ---------------------------------------------------
// Paths reach these functions in the library's form ("\\" between
// components) and each side makes the native copy that its calls take.
// Results and return codes are those of the runtime functions they wrap.

// The working directory in the library's form: a new string, empty when it
// cannot be read, NULL when memory runs out.
str_t* current_directory();
// true when the working directory changed.
bool change_directory(const str_t* path);
// Whether the file or directory exists.
bool file_exists(const str_t* path);
// The runtime's own file status record, which path_stat hands its callers
// whole (the public path_status_t is the same record).
#if defined(_WIN32)
using FileStatus = struct _stat64i32;
#else
using FileStatus = struct stat;
#endif
// Fills *status from the runtime's status call; its result is not used.
void file_status(const str_t* path, FileStatus* status);
// nullptr when the file cannot be opened; throws std::bad_alloc when memory
// runs out, which must not pass for a file that cannot be opened.
FILE* open_file(const str_t* path, const char* mode);
// Opens a regular file for reading ("rb"); nullptr when it cannot be
// opened and, without waiting on it, for anything but a regular file (a
// FIFO, a device, a socket, a directory).
FILE* open_regular_file(const str_t* path);
// 0 on success, -1 on failure. `mode` gives the permissions where the
// platform has them (0: read, write and search for all, less the umask).
int32_t make_directory(const str_t* path, int32_t mode);
int32_t remove_directory(const str_t* path);
int32_t remove_file(const str_t* path);
// Whether the caller may write (`write`) or read the file.
bool may_access(const str_t* path, bool write);
// Whether a path that begins at the file system's root ("\\..." or
// "/...") counts as absolute, besides the drive-letter rule.
bool root_is_absolute();
// The path in the platform's native form, as a new string.
str_t* native_path(const str_t* path);

// ---- named mutexes ----------------------------------------------------------

// A new, closed named mutex of this platform, for KeloMutex, which owns and
// deletes it; nullptr when memory runs out.
KeloMutexImp* new_named_mutex();

// ---- folder locks ----------------------------------------------------------------

// Takes an exclusive lock on the folder that holds `file` (the folder of
// its final target when it is a symbolic link), by the folder's identity:
// every path that leads to the folder, from any account, meets the same
// lock. Waits for it. Answers the handle to give unlock_folder, or -1 when
// the lock cannot be had (the caller then goes on without it).
intptr_t lock_folder_of(const str_t* file);
void unlock_folder(intptr_t lock);

// ---- writing whole files ------------------------------------------------------

// Writes `path` whole through `write`, which is given the open stream and
// answers whether it wrote everything, so that no reader and no crash ever
// meets a half-written file (the platform's file replacement, which the kelo
// tool shares, says how). The caller holds the file's locks: what earlier
// writes that died left beside the file is cleared. A file the caller may
// not write, and a path that leads to anything but a regular file, are
// refused. true when everything was written.
using FileWriter = bool (*)(FILE* stream, void* context);
bool write_whole_file(const str_t* path, FileWriter write, void* context);
// A file written in place gets a copy of its old content beside it for as
// long as the write takes; a write that died leaves the copy. This puts it
// back (the caller holds the file's locks). true when nothing had to be put
// back or it was; false when a copy is there that cannot be put back.
bool restore_interrupted_write(const str_t* path);
// Gives the file read and write access for every account; true on success.
bool grant_open_access(const str_t* path);

// ---- child processes ------------------------------------------------------------

// The value of a handle that is none (INVALID_HANDLE_VALUE).
inline void* invalid_handle() { return reinterpret_cast<void*>(static_cast<intptr_t>(-1)); }

// A started child and the two pipes that connect it to this process.
struct ChildPipes {
    uint32_t pid;
    void* to_child;     // this process's end of the child's standard input
    void* from_child;   // this process's end of the child's standard output and error
    void* child_input;  // the child's ends of the two pipes: already closed in
    void* child_output; // this process, kept only to name the pipes
};

// Starts `program` (a path in the library's form; not searched, no
// extension added) with its standard input reading from one new pipe and
// its standard output and error writing to another. Platforms that pass a
// program its arguments as one command line use `command_line`; those that
// pass a vector use `argv` (its first element is the program's name). No
// shell is involved, and no other handle of this process reaches the
// child. The child-side ends are closed here once the child has started.
// true when it started; on failure nothing is left open and *child is
// unchanged.
bool spawn_with_pipes(const str_t* program, const str_t* command_line, const std::vector<std::string>& argv,
                      ChildPipes* child);
// Whether a process with that id exists. A child of this process that has
// ended is reaped here (so it no longer exists) and *exit_status receives
// its exit status, 0 to 255, or -1 when it has none; otherwise *exit_status
// is left alone.
bool process_exists(uint32_t pid, int32_t* exit_status);
// Waits for a child of this process to end. true when it ended, with its
// exit status, 0 to 255, or -1 when it has none (killed by a signal) in
// *exit_status; false without waiting when the process is not a child of
// this one or this platform does not wait.
bool wait_for_process(uint32_t pid, int32_t* exit_status);
// Closes a pipe end that spawn_with_pipes opened.
void close_handle(void* handle);

// ---- time and the system timer -------------------------------------------------

// Whole seconds since 1970-01-01 UTC.
int64_t current_time();
// What each tick of the system timer calls (arguments: window, message,
// timer identifier, tick count; each platform passes what it has, or 0).
using SystemTimerCallback = void (*)(void* window, unsigned int message, uintptr_t timer, unsigned long tick);
// Arms a periodic system timer for the calling thread, with a period in
// milliseconds; its ticks are delivered by dispatch_system_timer on that
// thread. Answers its identifier, never 0, or 0 when it cannot be armed.
uint32_t arm_system_timer(int32_t period_ms, SystemTimerCallback callback);
// Stops the system timer with that identifier.
void cancel_system_timer(uint32_t timer);
// Calls the callback of each armed system timer of this thread whose tick
// is due (once, however many ticks were missed), without waiting.
void dispatch_system_timer();
// A descriptor that becomes readable when a tick is due, for event loops
// to poll; -1 when no system timer is armed or ticks arrive otherwise.
int system_timer_handle();

// ---- standard folders -----------------------------------------------------------
// Folders of the system in the library's form, as they are (no separator
// added or taken away), as new strings; nullptr when the system has none,
// or when memory runs out.

// The folder of files that programs share (Common Files).
str_t* common_files_folder();
// The machine-wide application data folder.
str_t* common_data_folder();
// The current user's local application data folder.
str_t* local_data_folder();

// ---- the running program -------------------------------------------------------

// The program file as it was started, in the library's form: a new string,
// empty when it cannot be found.
str_t* program_as_started();
// The pattern that gives a program name its platform's extension ("%1.exe"),
// or nullptr where programs have none.
const char* program_file_pattern();

// ---- environment -------------------------------------------------------------------

// The name of this platform in custom environment files.
const char* platform_name();
// The value of the process environment variable `name` (UTF-8) as a new
// UTF-8 string; nullptr when it is not set. Throws std::bad_alloc when
// memory runs out, which must not pass for a variable that is not set.
str_t* environment_variable(const char* name);
// Whether the variable is set, also when its value is empty.
bool environment_variable_is_set(const char* name);
// Sets the variable of this process, which the processes it starts
// inherit; true on success.
bool set_environment_variable(const char* name, const str_t* value);

// How PATH lists folders here.
struct PathListRules {
    char list_separator;      // between two folders
    char folder_separator;    // the native one; PATH lists a folder without its last
    bool case_sensitive;      // whether names that differ only in case are different folders
    bool separator_ends_list; // whether a folder and folder_separator at the very end list the folder
};
PathListRules path_list_rules();

// ---- installed locales ------------------------------------------------------------

// Calls add(lcid, context) for each installed system locale.
using LocaleAdder = void (*)(uint32_t lcid, void* context);
void enumerate_locales(LocaleAdder add, void* context);
// The names of a locale that the locale manager keeps.
enum class LocaleText { abbreviated_language, iso639_language, iso3166_country };
// One name of the locale in UTF-8; empty when the system has none that
// fits in 9 characters.
std::string locale_text(uint32_t lcid, LocaleText which);
// The LCID of the user's default locale; 0 when there is none.
uint32_t user_default_lcid();

} // namespace keloutil::os

#endif // KELOUTIL_PLATFORM_OS_H
