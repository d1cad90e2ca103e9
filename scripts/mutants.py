#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The planted faults of scripts/mutants.sh, and the writing of one of them
into a copy of the sources.

    mutants.py list [ID,ID...]   id and description of each fault (all, or those named)
    mutants.py check TREE        whether each fault's text is found in TREE
    mutants.py apply ID TREE     writes the fault into TREE and prints the file it changed

Each fault is a small change that a developer could make by mistake. Its
original text must occur exactly once in the file named for it; when that
file no longer holds it (code moves between files), the text is looked for
in every source under libraries/ and tools/, where it must occur once.
"""
import sys
from collections import namedtuple
from pathlib import Path

Fault = namedtuple("Fault", "id file what original replacement")

LIB = "libraries/keloutil/"
POSIX = LIB + "platform/posix/"
KELO = "tools/kelo/"

FAULTS = [
    # ---- the counted allocator ----
    Fault("memory-01", LIB + "memory.cpp", "a grown block's new bytes are not zero-filled",
          "if (size > old_size) std::memset(user + old_size, 0, size - old_size);", ""),
    Fault("memory-02", LIB + "memory.cpp", "freeing leaves a block's header bytes in the live total",
          "g_allocated -= total;", "g_allocated -= total - MEMORY_HEADER_SIZE;"),

    # ---- the string module ----
    Fault("str-01", LIB + "str_record.cpp", "str_utf16be_len stops at the first zero byte, not the first zero unit",
          "while (p[bytes] != 0 || p[bytes + 1] != 0) bytes += 2;",
          "while (p[bytes] != 0 && p[bytes + 1] != 0) bytes += 2;"),
    Fault("str-02", LIB + "str_record.cpp", "str_uninit frees the record but not its text",
          "    memory_free(s->buffer);\n    memory_free(s);", "    memory_free(s);"),
    Fault("str-03", LIB + "str_edit.cpp", "appended text is not terminated when the buffer already had room",
          "s->buffer[old_length + static_cast<int32_t>(length)] = '\\0';", ""),
    Fault("str-04", LIB + "str_edit.cpp", "str_shift takes off only one separator of a run",
          "while (rest < text.size() && set.has(text[rest])) ++rest;",
          "if (rest < text.size() && set.has(text[rest])) ++rest;"),
    Fault("str-05", LIB + "str_edit.cpp", "str_pad rounds the number of copies down",
          "const size_t copies = (static_cast<size_t>(n) + text.size() - 1) / text.size();",
          "const size_t copies = static_cast<size_t>(n) / text.size();"),
    Fault("str-06", LIB + "str_edit.cpp", "a null string compares after the others",
          "return a_null == b_null ? 0 : (a_null ? -1 : 1);", "return a_null == b_null ? 0 : (a_null ? 1 : -1);"),
    Fault("str-07", LIB + "str_search.cpp", "carriage return (13) is not white space",
          "return c == ' ' || (c >= 9 && c <= 13);", "return c == ' ' || (c >= 9 && c < 13);"),
    Fault("str-08", LIB + "str_search.cpp", "a search that ignores case does not fold the needle",
          "change_case(folded_needle.data(), folded_needle.size(), 'a', 'z');", ""),
    Fault("str-09", LIB + "str_search.cpp", "a span starts at the first opening, not the innermost one",
          "const size_t last_open = text.rfind(opening, end - 1);", "const size_t last_open = first_open;"),
    Fault("str-10", LIB + "str_numbers.cpp", "the most negative 64-bit number is refused",
          "% static_cast<uint64_t>(base) + (negative ? 1 : 0);", "% static_cast<uint64_t>(base);"),
    Fault("str-11", LIB + "str_numbers.cpp", "a digit equal to the base is accepted",
          "return value < base ? value : -1;", "return value <= base ? value : -1;"),
    Fault("str-12", LIB + "str_numbers.cpp", "a text of five bytes is hashed as a short one",
          "if (text.size() >= 5) {", "if (text.size() > 5) {"),
    Fault("str-13", LIB + "str_text_end.cpp", "the search for the terminator looks at half of each 128-byte group",
          "for (int i = 0; i < 8; i += 4) {", "for (int i = 0; i < 4; i += 4) {"),

    # ---- conversions: per character, ASCII runs, SSE2 blocks, vector kernels, direct loops ----
    Fault("convert-01", LIB + "str_convert.cpp", "U+0800 is measured and written as two bytes of UTF-8",
          "if (c < 0x800) return 2;", "if (c <= 0x800) return 2;"),
    Fault("convert-02", LIB + "str_convert.cpp", "a decoded surrogate pair misses the 0x10000 offset",
          "*c = ((u - 0xD800) << 10) + 0x10000 + (v - 0xDC00);", "*c = ((u - 0xD800) << 10) + (v - 0xDC00);"),
    Fault("convert-03", LIB + "str_convert.cpp", "the byte-order mark is written byte-swapped",
          "write(dst, 0xFEFF);", "write(dst, 0xFFFE);"),
    Fault("convert-04", LIB + "str_convert.cpp", "the measure of marked UTF-16 leaves out the mark",
          "int64_t needed = target->terminator_size + (to == STR_ENC_UTF16 ? 2 : 0);",
          "int64_t needed = target->terminator_size;"),
    Fault("convert-05", LIB + "str_convert_ascii.cpp", "UTF-16 units up to 0xFF pass as ASCII in a run",
          "limit = _mm_set1_epi16(0x80);", "limit = _mm_set1_epi16(0x100);"),
    Fault("convert-06", LIB + "str_convert_blocks.cpp",
          "a surrogate pair cut by the end of the UTF-16 blocks is counted whole",
          "        s -= 2;\n        total -= 2;", "        s -= 2;"),
    Fault("convert-07", LIB + "str_convert_vector.inc", "four-byte UTF-8 gets a high surrogate 0x40 too large",
          "splat16<V>(0xD800 - 0x40));", "splat16<V>(0xD800));"),
    Fault("convert-08", LIB + "str_convert_vector.inc", "the UTF-8 measure counts F0 leads as three-byte ones",
          "const block four_byte_lead = splat<block>(0xEF);", "const block four_byte_lead = splat<block>(0xF0);"),
    Fault("convert-09", LIB + "str_convert_vector.inc",
          "sixteen UTF-16 units that end on a high surrogate advance the output two bytes too far",
          "int lengths[4], total = taken == 15 ? -2 : 0;", "int lengths[4], total = 0;"),
    Fault("convert-10", LIB + "str_convert_fast.cpp", "the direct loop takes the over-long leads C0 and C1",
          "if (b0 < 0xC2) return 0;", "if (b0 < 0xC0) return 0;"),

    # ---- lists and hash maps ----
    Fault("list-01", LIB + "list.cpp", "taking out the last entry leaves the tail pointing at it",
          "if (list->tail == entry) list->tail = entry->prev;", ""),
    Fault("list-02", LIB + "list.cpp", "inserting before index 0 appends instead",
          "return index < 1 ? list_unshift(list, data)", "return index < 0 ? list_unshift(list, data)"),
    Fault("list-03", LIB + "list.cpp", "an append that runs out of memory keeps the entries it added",
          "while (destination->tail != old_tail) release_entry(destination, destination->tail);", ""),
    Fault("list-04", LIB + "list.cpp", "elements sized by elem_size_of are not freed",
          "} else if (info.elem_size_of != nullptr || info.elem_size != 0) {",
          "} else if (info.elem_size != 0) {"),
    Fault("list-05", LIB + "list.cpp", "a list equals every longer list that it starts",
          "return x == nullptr && y == nullptr ? 1 : 0;", "return x == nullptr || y == nullptr ? 1 : 0;"),
    Fault("hashmap-01", LIB + "hashmap.cpp", "an iterator made from an entry ignores the descriptor's hash",
          "const uint32_t bucket = bucket_of(map, entry->key);",
          "const uint32_t bucket = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(entry->key)) % map->bucket_count;"),
    Fault("hashmap-02", LIB + "hashmap.cpp", "removing a key does not lower the count",
          "    *slot = entry->next;\n    release_entry(map, entry);\n    --map->count;",
          "    *slot = entry->next;\n    release_entry(map, entry);"),
    Fault("hashmap-03", LIB + "hashmap.cpp", "replacing a value does not release the old owned one",
          "map->allocated -= release(map, value_side, entry->value);", ""),
    Fault("hashmap-04", LIB + "hashmap.cpp", "erasing moves on to the next bucket although the chain goes on",
          "if (*iter->link == nullptr) settle(iter, static_cast<uint32_t>(iter->bucket) + 1);",
          "settle(iter, static_cast<uint32_t>(iter->bucket) + 1);"),

    # ---- paths ----
    Fault("path-01", LIB + "path.cpp", "a path that starts with '/' is not absolute",
          "(path->buffer[0] == '\\\\' || path->buffer[0] == '/')", "path->buffer[0] == '\\\\'"),
    Fault("path-02", LIB + "path.cpp", "an extension is taken from a folder's name",
          "if (extension != nullptr && (!found || std::strchr(extension->buffer, '\\\\') != nullptr))",
          "if (extension != nullptr && !found)"),
    Fault("path-03", LIB + "path.cpp", "path_dirname does not free the component it takes off",
          "    str_uninit(last);\n    return rest;", "    return rest;"),
    Fault("tpath-01", LIB + "tpath.cpp", "dirPath(false) answers the absolute folder too",
          "TPath directory = absolute ? absPath() : TPath(*this);", "TPath directory = absPath();"),
    Fault("tpath-02", LIB + "tpath.cpp", "the root alone does not exist",
          "if (copy.isEmpty() && length == 1 && keloutil::os::root_is_absolute()) copy = \"\\\\\";", ""),

    # ---- TStr ----
    Fault("tstr-01", LIB + "tstr.cpp", "clear() keeps the cached conversion",
          "    str_clear(record_);\n    clearCachedEncoding();", "    str_clear(record_);"),
    Fault("tstr-02", LIB + "tstr.cpp", "an empty string converts to true",
          "TStr::operator bool() const { return str_empty(record_) == 0; }",
          "TStr::operator bool() const { return str_null(record_) == 0; }"),

    # ---- processes ----
    Fault("tprocess-01", LIB + "tprocess.cpp", "a tab does not end an argument",
          "if (byte == ' ' || byte == '\\t') end_argument();", "if (byte == ' ') end_argument();"),
    Fault("tprocess-02", LIB + "tprocess.cpp", "the pipe of the child's output is never closed",
          "input->owned = output->owned = true;", "input->owned = true;"),
    Fault("process-01", POSIX + "process.cpp", "status() drops the exit code of the child it reaps",
          "        *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;\n        return false;",
          "        return false;"),
    Fault("process-02", POSIX + "process.cpp", "this process keeps the write end of the child's output open",
          "close(output[1]);", ""),

    # ---- locks ----
    Fault("tlock-01", LIB + "tlock.cpp", "a lock's name keeps the bytes from 0x80 up",
          "str_from(text->buffer, str_len(text), STR_ENC_ASCII)", "str_from(text->buffer, str_len(text), STR_ENC_UTF8)"),
    Fault("folderlock-01", POSIX + "folder_lock.cpp", "the folder lock is shared, not exclusive",
          "while ((result = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {",
          "while ((result = flock(fd, LOCK_SH)) != 0 && errno == EINTR) {"),
    Fault("mutex-01", POSIX + "named_mutex.cpp", "UnLock clears the flag but keeps the file locked",
          "if (mbLocked && flock(mFile, LOCK_UN) == 0) mbLocked = false;", "if (mbLocked) mbLocked = false;"),
    Fault("mutex-02", POSIX + "named_mutex.cpp", "a leading '.' of a mutex name is not encoded",
          "c == '-' || (c == '.' && i > 0);", "c == '-' || c == '.';"),
    Fault("kelomutex-01", LIB + "kelomutex.cpp", "Lock waits for ever whatever the time-out",
          "return mImp->Lock(timeout);", "return mImp->Lock(-1);"),

    # ---- timers ----
    Fault("ttimer-01", LIB + "ttimer.cpp", "a timer never fires again after its first callback",
          "    mbInCallback = false;\n    mLastTime = now;", "    mLastTime = now;"),
    Fault("ttimer-02", LIB + "ttimer.cpp", "a timer fires one clock tick late",
          "if (now - mLastTime < mPeriod) return;", "if (now - mLastTime <= mPeriod) return;"),
    Fault("ttimer-03", LIB + "ttimer.cpp", "timers removed during a clock pass stay registered",
          "for (const int id : queued) remove(id);", ""),
    Fault("systimer-01", POSIX + "system_timer.cpp", "the system timer fires once only",
          "const itimerspec schedule{period, period};", "const itimerspec schedule{{}, period};"),
    Fault("systimer-02", POSIX + "system_timer.cpp", "the period's milliseconds become microseconds",
          "period.tv_nsec = static_cast<long>(period_ms % 1000) * 1000000L;",
          "period.tv_nsec = static_cast<long>(period_ms % 1000) * 1000L;"),

    # ---- settings files ----
    Fault("settings-01", LIB + "kelosettings.cpp", "a new value of a key that the file holds is not written",
          "if (child->ToText() != nullptr) data->ReplaceChild(child, TiXmlText(text));", ""),
    Fault("settings-02", LIB + "kelosettings.cpp", "setting a removed key again leaves it removed",
          "state.pendingRemovals.erase(combined);", ""),
    Fault("settings-03", LIB + "kelosettings.cpp", "save does not read the file again under its locks",
          "if (rereadSameFile && !state.open(state.path, true, false)) return false;", ""),
    Fault("setlocks-01", LIB + "settings_locks.cpp", "the settings lock is opened but never taken",
          "if (!text.isNull() && mutex_.Open(text)) mutex_.Lock(-1);", "if (!text.isNull()) mutex_.Open(text);"),
    Fault("xml-01", LIB + "xml_text.cpp", "CR LF is read as two line breaks",
          "if (in + 1 < text.size() && text[in + 1] == '\\n') ++in;", ""),
    Fault("xml-02", LIB + "xml_text.cpp", "one level of nesting beyond the limit is let through",
          "if (depth + 1 > max_depth) return false;", "if (depth > max_depth) return false;"),
    Fault("replace-01", POSIX + "file_replace.cpp", "the copy of the old content of a write in place stays",
          "    if (written && copied) {\n        unlink(place.rollback.c_str());",
          "    if (written && copied) {"),
    Fault("replace-02", POSIX + "file_replace.cpp", "a new file keeps the temporary file's mode 0600",
          "if (target == nullptr) return fchmod(fd, 0666 & ~creation_mask()) == 0;",
          "if (target == nullptr) return true;"),

    # ---- the rest of the library ----
    Fault("objectmanager-01", LIB + "objectmanager.cpp", "one object can be registered twice",
          "if (r->object == object) return -1;", ""),
    Fault("customenv-01", LIB + "customenv.cpp", "a thin-client file that failed to load still counts",
          "thinClient = loaded && from_thin_client;", "thinClient = from_thin_client;"),
    Fault("customenv-02", LIB + "customenv.cpp", "a variable's name runs to the next '/' instead of '\\'",
          "const size_t cut = value.find('\\\\', at);", "const size_t cut = value.find('/', at);"),
    Fault("locations-01", LIB + "locations.cpp", "a folder that is last on PATH is not found there",
          "if (after == path.size() || path[after] == rules.list_separator) return true;",
          "if (path[after] == rules.list_separator) return true;"),
    Fault("locations-02", LIB + "locations.cpp", "the version folder gets no separator after it",
          "if (!version.empty()) folder += version + \"\\\\\";", "if (!version.empty()) folder += version;"),
    Fault("locales-01", LIB + "locales.cpp", "the last supported locale is not found",
          "(end == list.size() || list[end] == ';')", "list[end] == ';'"),
    Fault("locales-02", LIB + "locales.cpp", "the country of a five-character locale is not upper-cased",
          "+ \"_\" + inCase(text.substr(3), true);", "+ \"_\" + std::string(text.substr(3));"),
    Fault("version-01", LIB + "version.cpp", "the framework version leaves out the modifier",
          "return KELOUTIL_TEXT(KELOUTIL_VERSION_MAJOR) KELOUTIL_VERSION_MODIFIER;",
          "return KELOUTIL_TEXT(KELOUTIL_VERSION_MAJOR);"),
    Fault("interop-01", LIB + "interop.cpp", "getNumChars leaves out the terminator",
          "while (count < max_counted_units && text[count - 1] != 0) ++count;",
          "while (count < max_counted_units && text[count] != 0) ++count;"),

    # ---- kelo ----
    Fault("kelo-01", KELO + "cli.cpp", "the first of a repeated option counts, not the last",
          "for (auto option = options.rbegin(); option != options.rend(); ++option)",
          "for (auto option = options.begin(); option != options.end(); ++option)"),
    Fault("kelo-02", KELO + "main.cpp", "a command line that kelo cannot take exits with 1, not 2",
          "error.message.c_str());\n            return 2;", "error.message.c_str());\n            return 1;"),
    Fault("kelo-03", KELO + "convert.cpp", "every block of marked UTF-16 output starts with a mark",
          "if (!first && to_id_ == STR_ENC_UTF16) to_id_ = mark_order_;", ""),
    Fault("kelo-04", KELO + "settings.cpp", "settings set does not save the file",
          "fail(\"cannot set the value\");\n    store.save();", "fail(\"cannot set the value\");"),
    Fault("kelo-05", KELO + "settings.cpp", "settings list writes DEL (0x7F) unescaped",
          "else if (byte < 0x20 || byte == 0x7F) {", "else if (byte < 0x20) {"),
    Fault("kelo-06", KELO + "platform_posix.cpp", "kelo run does not pass on exit status 0",
          "if (waited >= 0) return static_cast<int>(waited);", "if (waited > 0) return static_cast<int>(waited);"),
    Fault("kelo-07", KELO + "path.cpp", "path info prints no empty line between the first two blocks",
          "if (i > 0) std::fputc('\\n', stdout);", "if (i > 1) std::fputc('\\n', stdout);"),
    Fault("kelo-08", KELO + "str.cpp", "split-list goes on one byte after a separator, whatever its length",
          "start = found + sep_text.size();", "start = found + 1;"),
    Fault("kelo-09", KELO + "utf8_check.cpp", "U+10FFFF is taken for no character",
          "return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);", "return c < 0x10FFFF && (c < 0xD800 || c > 0xDFFF);"),
]

SOURCE_ROOTS = ("libraries", "tools")
SOURCE_SUFFIXES = {".c", ".cpp", ".h", ".hpp", ".inc"}


class NotFound(Exception):
    pass


def read(path):
    return path.read_text(encoding="utf-8", errors="surrogateescape")


def locate(fault, tree):
    """The file of `tree` that holds the fault's original text once."""
    named = tree / fault.file
    if named.is_file():
        count = read(named).count(fault.original)
        if count == 1:
            return named
        if count > 1:
            raise NotFound(f"{count} times in {fault.file}")
    holders = [path for root in SOURCE_ROOTS for path in sorted((tree / root).rglob("*"))
               if path.suffix in SOURCE_SUFFIXES and path.is_file() and fault.original in read(path)]
    if len(holders) == 1 and read(holders[0]).count(fault.original) == 1:
        return holders[0]
    elsewhere = f", but in {len(holders)} other files" if holders else ""
    raise NotFound(f"not in {fault.file}{elsewhere}")


def selected(ids):
    """The faults named in the comma-separated `ids` (all when empty)."""
    if not ids:
        return FAULTS
    wanted = [i for i in ids.split(",") if i]
    by_id = {fault.id: fault for fault in FAULTS}
    unknown = [i for i in wanted if i not in by_id]
    if unknown:
        sys.exit(f"mutants.py: no such fault: {', '.join(unknown)}")
    return [by_id[i] for i in wanted]


def main(argv):
    if len(FAULTS) != len({fault.id for fault in FAULTS}):
        sys.exit("mutants.py: two faults have the same id")
    command = argv[1] if len(argv) > 1 else ""
    if command == "list" and len(argv) <= 3:
        for fault in selected(argv[2] if len(argv) == 3 else ""):
            print(f"{fault.id}\t{fault.what}")
        return 0
    if command == "check" and len(argv) == 3:
        missing = 0
        for fault in FAULTS:
            try:
                where = locate(fault, Path(argv[2])).relative_to(argv[2]).as_posix()
                print(f"{fault.id}: {where}" + ("" if where == fault.file else " (moved)"))
            except NotFound as reason:
                print(f"{fault.id}: not found ({reason})")
                missing += 1
        return 1 if missing else 0
    if command == "apply" and len(argv) == 4:
        fault = selected(argv[2])[0]
        tree = Path(argv[3])
        try:
            path = locate(fault, tree)
        except NotFound as reason:
            print(reason, file=sys.stderr)
            return 3
        text = read(path).replace(fault.original, fault.replacement, 1)
        path.write_text(text, encoding="utf-8", errors="surrogateescape")
        print(path.relative_to(tree).as_posix())
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
