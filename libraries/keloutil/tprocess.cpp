// SPDX-License-Identifier: MIT
// TProcess: the process record and its descriptor table, starting a child
// through the platform seam, and the argument splitter.
#include <keloutil/tprocess.hpp>

#include <keloutil/memory.h>
#include <keloutil/path.h>

#include "c_str_internal.h"
#include "guarded.h"
#include "platform/os.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The arguments in `text`: blanks and tabs separate them, "..." and '...'
// group any bytes up to the matching quote, a quote inside a word is kept,
// and empty arguments are dropped. There is no escape character.
std::vector<std::string> split_arguments(std::string_view text) {
    enum class State { between, word, double_quoted, single_quoted };
    std::vector<std::string> arguments;
    std::string current;
    State state = State::between;
    auto end_argument = [&] {
        if (!current.empty()) arguments.push_back(std::move(current));
        current.clear();
        state = State::between;
    };
    for (const char byte : text) {
        switch (state) {
        case State::between:
            if (byte == ' ' || byte == '\t') break;
            if (byte == '"') state = State::double_quoted;
            else if (byte == '\'') state = State::single_quoted;
            else {
                current.push_back(byte);
                state = State::word;
            }
            break;
        case State::word:
            if (byte == ' ' || byte == '\t') end_argument();
            else current.push_back(byte);
            break;
        case State::double_quoted:
            if (byte == '"') end_argument();
            else current.push_back(byte);
            break;
        case State::single_quoted:
            if (byte == '\'') end_argument();
            else current.push_back(byte);
            break;
        }
    }
    end_argument();
    return arguments;
}

// A record holding `bytes` of UTF-8 as they are.
str_t* record_of_bytes(const std::string& bytes) {
    return str_from(bytes.data(), static_cast<int32_t>(bytes.size()), STR_ENC_UTF8);
}

// One pipe of the descriptor table.
struct DescriptorEntry {
    void* parent;       // the end this process uses
    void* child;        // the end handed to the child
    int32_t direction;  // 0: data to the child, 1: data from the child
    char name[16];      // 7-bit text, NUL-padded; no terminator at 16 bytes
    bool owned;         // opened by execute(), so closed with the table
    DescriptorEntry* next;
};

constexpr size_t name_size = sizeof(DescriptorEntry::name);

// A new entry from the counted allocator, not yet linked; nullptr when
// memory runs out. `name` is 7-bit text or nullptr for none.
DescriptorEntry* new_entry(void* parent, void* child, int32_t direction, const char* name, bool owned) {
    void* block = memory_allocate(sizeof(DescriptorEntry));
    if (block == nullptr) return nullptr;
    auto* entry = new (block) DescriptorEntry{parent, child, direction, {}, owned, nullptr};
    for (size_t i = 0; name != nullptr && i < name_size && name[i] != '\0'; ++i) entry->name[i] = name[i];
    return entry;
}

// Frees a chain of entries, closing the parent-side ends that execute()
// opened; handles the caller mapped are the caller's.
void free_entries(DescriptorEntry* entry) {
    while (entry != nullptr) {
        DescriptorEntry* next = entry->next;
        if (entry->owned) keloutil::os::close_handle(entry->parent);
        memory_free(entry);
        entry = next;
    }
}

// The UTF-8 text of a string, "" for a null one.
const char* text_of(const str_t* s) { return s != nullptr && s->buffer != nullptr ? s->buffer : ""; }

// Owners that release a string or a chain of entries however the scope ends.
using OwnedStr = std::unique_ptr<str_t, decltype(&str_uninit)>;
OwnedStr owned(str_t* s) { return OwnedStr(s, str_uninit); }
using OwnedEntries = std::unique_ptr<DescriptorEntry, decltype(&free_entries)>;
OwnedEntries owned(DescriptorEntry* entry) { return OwnedEntries(entry, free_entries); }

} // namespace

// The process record, from the counted allocator like its entries.
struct TProcess::Record {
    str_t* command;   // null for a record made from a process id
    str_t* arguments; // null for a record made from a process id
    uint32_t pid;
    DescriptorEntry* descriptors;
    // The child has ended and is known to be gone (reaped on Linux), so
    // status() answers NoSuchProcess without asking again and wait() answers
    // exit_status: a reaped id may already belong to another process.
    bool ended;
    int32_t exit_status;

    // A new record owning `command` and `arguments` (either may be null);
    // nullptr when memory runs out.
    static Record* make(str_t* command, str_t* arguments, uint32_t pid) {
        void* block = memory_allocate(sizeof(Record));
        if (block == nullptr) return nullptr;
        return new (block) Record{command, arguments, pid, nullptr, false, NoExitStatus};
    }

    long start();

    static void release(Record* record) {
        if (record == nullptr) return;
        str_uninit(record->command);
        str_uninit(record->arguments);
        free_entries(record->descriptors);
        memory_free(record);
    }

    // The link that points at the first entry whose name equals the first
    // 16 bytes of `name` (UTF-8), or the link at the end of the table.
    DescriptorEntry** find(const TStr& name) {
        const char* wanted = text_of(static_cast<const str_t*>(name.handle()));
        DescriptorEntry** link = &descriptors;
        while (*link != nullptr && std::strncmp((*link)->name, wanted, name_size) != 0) link = &(*link)->next;
        return link;
    }
};

namespace {

// The file name the child is started as: the command's last component.
str_t* program_name(const str_t* command) {
    str_t* path = str_dup(command);
    str_t* name = path != nullptr ? path_pop(path) : nullptr;
    str_uninit(path);
    return name;
}

} // namespace

TProcess::TProcess(const TStr& command, const TStr& arguments) : mRecord(nullptr) {
    const auto* command_record = static_cast<const str_t*>(command.handle());
    const auto* arguments_record = static_cast<const str_t*>(arguments.handle());
    str_t* stored_command = nullptr;
    str_t* stored_arguments = nullptr;
    // A launcher named by KELO_USE_SQUISH starts every child: it gets the
    // program in double quotes, one blank, and the program's arguments.
    // The variable is read as the system holds it (on Windows, wide text,
    // so that a launcher path of any characters arrives whole).
    struct Launcher {
        str_t* path;
        bool read;
    };
    const Launcher launcher = keloutil::guarded(Launcher{nullptr, false}, [] {
        return Launcher{keloutil::os::environment_variable("KELO_USE_SQUISH"), true};
    });
    if (!launcher.read) return; // memory ran out: no record
    if (launcher.path != nullptr && str_len(launcher.path) > 0) {
        stored_arguments = keloutil::guarded<str_t*>(nullptr, [&] {
            const std::string rewritten =
                std::string("\"") + text_of(command_record) + "\" " + text_of(arguments_record);
            return str_from(rewritten.data(), static_cast<int32_t>(rewritten.size()), STR_ENC_UTF8);
        });
        stored_command = launcher.path;
    } else {
        str_uninit(launcher.path);
        stored_command = str_dup(command_record);
        stored_arguments = str_dup(arguments_record);
    }
    if (stored_command != nullptr && stored_arguments != nullptr)
        mRecord = Record::make(stored_command, stored_arguments, 0);
    if (mRecord == nullptr) {
        str_uninit(stored_command);
        str_uninit(stored_arguments);
    }
}

TProcess::TProcess(int pid) : mRecord(Record::make(nullptr, nullptr, static_cast<uint32_t>(pid))) {}

TProcess::TProcess() : mRecord(nullptr) {}

TProcess::TProcess(const TProcess& other)
    : mRecord(other.mRecord != nullptr ? Record::make(nullptr, nullptr, other.mRecord->pid) : nullptr) {}

TProcess& TProcess::operator=(const TProcess& other) {
    Record* copy = other.mRecord != nullptr ? Record::make(nullptr, nullptr, other.mRecord->pid) : nullptr;
    Record::release(mRecord);
    mRecord = copy;
    return *this;
}

TProcess::~TProcess() { Record::release(mRecord); }

long TProcess::execute(bool, bool) {
    if (mRecord == nullptr) return NoRecord;
    if (str_null(mRecord->command)) return Failed; // made from an id: nothing to start
    return keloutil::guarded(static_cast<long>(Failed), [this] { return mRecord->start(); });
}

// The body of execute for a record with a command: Started or Failed. A
// child never starts with less than its whole command line.
long TProcess::Record::start() {
    const OwnedStr name = owned(program_name(command));
    const OwnedStr command_line = owned(str_dup(name.get()));
    const OwnedStr blank = owned(str_from_utf8(" "));
    // The entries are made first, so that a start never fails after the
    // child runs; they own their handles only once they hold them.
    OwnedEntries input = owned(new_entry(nullptr, nullptr, 0, "stdin", false));
    OwnedEntries output = owned(new_entry(nullptr, nullptr, 1, "stdout", false));
    if (name == nullptr || command_line == nullptr || str_null(blank.get()) || input == nullptr || output == nullptr ||
        !keloutil::text::push_item(command_line.get(), arguments, blank.get()))
        return Failed;
    std::vector<std::string> argv{text_of(name.get())};
    for (std::string& argument : split_arguments(text_of(arguments))) argv.push_back(std::move(argument));

    keloutil::os::ChildPipes child{};
    if (!keloutil::os::spawn_with_pipes(command, command_line.get(), argv, &child)) return Failed;
    free_entries(descriptors);
    input->parent = child.to_child;
    input->child = child.child_input;
    output->parent = child.from_child;
    output->child = child.child_output;
    input->owned = output->owned = true;
    input->next = output.release();
    descriptors = input.release();
    pid = child.pid;
    ended = false;
    exit_status = NoExitStatus;
    return Started;
}

long TProcess::status() {
    if (mRecord == nullptr) return NoRecord;
    if (!mRecord->ended && keloutil::os::process_exists(mRecord->pid, &mRecord->exit_status)) return 0;
    mRecord->ended = true;
    return NoSuchProcess;
}

long TProcess::wait() {
    if (mRecord == nullptr) return NoRecord;
    if (!mRecord->ended && !keloutil::os::wait_for_process(mRecord->pid, &mRecord->exit_status)) return NoExitStatus;
    mRecord->ended = true;
    return mRecord->exit_status;
}

long TProcess::pid() const { return mRecord != nullptr ? static_cast<long>(mRecord->pid) : 0; }

long TProcess::mapDescriptor(void* parentSide, void* childSide, bool fromChild, const TStr& name) {
    if (mRecord == nullptr) return NoRecord;
    DescriptorEntry** link = &mRecord->descriptors;
    for (; *link != nullptr; link = &(*link)->next) {
        if ((*link)->parent == parentSide && (*link)->child == childSide) {
            (*link)->direction = fromChild ? 1 : 0;
            return 0;
        }
    }
    char* ascii = name.isEmpty() ? nullptr : name.cstr_alloc();
    if (!name.isEmpty() && ascii == nullptr) return Failed;
    *link = new_entry(parentSide, childSide, fromChild ? 1 : 0, ascii, false);
    memory_free(ascii);
    if (*link == nullptr) return Failed;
    return 0;
}

void* TProcess::fromDescriptor(const TStr& name) {
    if (mRecord == nullptr) return keloutil::os::invalid_handle();
    const DescriptorEntry* entry = *mRecord->find(name);
    return entry != nullptr ? entry->parent : keloutil::os::invalid_handle();
}

void* TProcess::toDescriptor(const TStr& name) { return fromDescriptor(name); }

bool TProcess::closeDescriptor(const TStr& name) {
    if (mRecord == nullptr) return false;
    DescriptorEntry** link = mRecord->find(name);
    DescriptorEntry* entry = *link;
    if (entry == nullptr || !entry->owned) return false;
    *link = entry->next;
    entry->next = nullptr;
    free_entries(entry);
    return true;
}

TStr TProcess::splitArgumentString(const TStr& text) {
    const auto* record = static_cast<const str_t*>(text.handle());
    const char* bytes = record != nullptr && record->buffer != nullptr ? record->buffer : "";
    return keloutil::guarded(TStr::null, [bytes] {
        // The arguments are joined as str_push joins a list, so "\r" inside
        // an argument counts towards the one separator at a junction.
        OwnedStr joined = owned(str_init());
        const OwnedStr separator = owned(str_from_cstr("\r"));
        if (joined == nullptr || str_null(separator.get())) return TStr();
        // Arguments are never empty: an item without text has run out of memory.
        for (const std::string& argument : split_arguments(bytes)) {
            const OwnedStr item = owned(record_of_bytes(argument));
            if (str_null(item.get()) || !keloutil::text::push_item(joined.get(), item.get(), separator.get()))
                return TStr();
        }
        void* handle = joined.release();
        return TStr(handle);
    });
}
