// SPDX-License-Identifier: MIT
/// @file
/// TProcess: a child process whose standard input and output are pipes to
/// the caller.
///
/// execute() starts the command. The command is a file path: it is not
/// searched on the PATH and no extension is added. Its arguments are one
/// text, which the child receives after the command's file name: on Linux cut
/// into separate arguments by splitArgumentString (no shell is involved), on
/// Windows as the rest of its command line. When the environment variable
/// KELO_USE_SQUISH names a launcher at construction, the launcher is started
/// instead, with the command in double quotes and the arguments after it.
///
/// After a start, toDescriptor("stdin") is the handle to write the child's
/// input to and fromDescriptor("stdout") the handle to read its output from,
/// its error output included (file descriptors cast to void* on Linux,
/// Windows handles on Windows). They belong to the object: they stay open
/// until it is destroyed or the next start replaces them, or until
/// closeDescriptor closes one early (as a child that reads its input to the
/// end needs). Nothing of the child reaches it except these two pipes.
///
/// Results are small codes, named by TProcess::Result: -1 started, -3 no
/// process record, -5 the pipes or the process could not be made, -6 no such
/// process; 0 success.
/// Destroying the object neither waits for the child nor ends it.
#ifndef KELOUTIL_TPROCESS_HPP
#define KELOUTIL_TPROCESS_HPP

#include <keloutil/export.h>
#include <keloutil/tstr.hpp>

class KELOUTIL_API TProcess {
public:
    /// The codes that the methods below answer besides 0 and exit statuses.
    enum Result : long {
        Started = -1,       ///< execute: the child started
        NoExitStatus = -1,  ///< wait: the child has no exit status, or is not ours
        NoRecord = -3,      ///< the object has no process record
        Failed = -5,        ///< the pipes, the process or memory could not be had
        NoSuchProcess = -6, ///< status: no process has the recorded id
    };

    /// A process to start: the command's path and its arguments (copies).
    TProcess(const TStr& command, const TStr& arguments);
    /// The process with this id (it can answer status and pid, not start).
    TProcess(int pid);
    /// No process record: execute and wait answer -3.
    TProcess();
    /// Only the other object's process id is copied.
    TProcess(const TProcess& other);
    TProcess& operator=(const TProcess& other);
    virtual ~TProcess();

    /// -1 when the child started, -5 when it could not be started, -3
    /// without a record. The two options are not used.
    long execute(bool option1 = false, bool option2 = false);
    /// 0 while a process with the recorded id exists, -6 when none does (on
    /// Linux a child of ours that has ended is reaped then), -3 without a
    /// record.
    long status();
    /// Linux: waits for the child and answers its exit status (0 to 255), or
    /// -1 when there is none (it was killed by a signal, or is not our
    /// child). Windows: -1 at once, without waiting. -3 without a record.
    long wait();
    long pid() const;

    /// Adds a pipe to the descriptor table under a name (its first 16 bytes
    /// of 7-bit text; characters outside ASCII are stored as "?"), or, for a
    /// pair of handles already there, only changes its direction (0: to the
    /// child, 1: from the child). Answers 0; -3 without a record, -5 when
    /// memory runs out. The table does not own the handles it is given.
    long mapDescriptor(void* parentSide, void* childSide, bool fromChild, const TStr& name);
    /// The parent-side handle of the first entry of that name, or
    /// INVALID_HANDLE_VALUE ((void*)-1). The two look up the same way.
    void* fromDescriptor(const TStr& name);
    void* toDescriptor(const TStr& name);
    /// Closes the parent-side handle of the first entry of that name when it
    /// is one that execute() opened, so that the child sees the end of its
    /// input; the lookups then answer INVALID_HANDLE_VALUE for it. True when
    /// a handle was closed.
    bool closeDescriptor(const TStr& name);

    /// The arguments found in text, joined by "\r". Blanks and tabs separate
    /// arguments; "..." and '...' group blanks into one argument and are
    /// removed; a quote inside a word is kept; there is no escape character.
    static TStr splitArgumentString(const TStr& text);

private:
    struct Record;
    Record* mRecord;
};

#endif // KELOUTIL_TPROCESS_HPP
