// SPDX-License-Identifier: MIT
// TProcess::splitArgumentString against a reference model: the fuzz bytes
// become a TStr, the model cuts the text that string holds into arguments
// by searching for each argument's end, and joins them with "\r" so that
// exactly one "\r" stands at every junction (an argument's own leading or
// trailing "\r" counts as it). The two results must agree, a string without
// arguments must be null, and every counted block must be back at the end.
#include "fuzz_support.hpp"

#include <keloutil/tprocess.hpp>

#include <string>
#include <vector>

namespace {

// The arguments of `text`: blanks and tabs separate them; a double or single
// quote opens an argument that runs to the same quote or the end of the
// text; any other byte opens a word that runs to the next blank or tab, and
// quotes inside it are its own. Empty arguments are dropped.
std::vector<std::string> model_arguments(const std::string& text) {
    std::vector<std::string> arguments;
    size_t at = 0;
    while (at < text.size()) {
        const char first = text[at];
        if (first == ' ' || first == '\t') {
            ++at;
            continue;
        }
        const bool quoted = first == '"' || first == '\'';
        const size_t begin = quoted ? at + 1 : at;
        const size_t end = quoted ? text.find(first, begin) : text.find_first_of(" \t", begin);
        const size_t stop = end == std::string::npos ? text.size() : end;
        if (stop > begin) arguments.push_back(text.substr(begin, stop - begin));
        // A closing quote is consumed; a blank after a word is skipped next.
        at = end == std::string::npos ? text.size() : (quoted ? end + 1 : end);
    }
    return arguments;
}

std::string model_join(const std::vector<std::string>& arguments) {
    std::string joined;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (i == 0) {
            joined = argument;
            continue;
        }
        const bool left = joined.back() == '\r', right = argument.front() == '\r';
        if (left && right) joined += argument.substr(1);
        else if (!left && !right) joined += "\r" + argument;
        else joined += argument;
    }
    return joined;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0; // longer texts find nothing new and slow the run
    fuzz::LeakCheck leaks;
    const TStr text(data, static_cast<int32_t>(size), STR_ENC_UTF8);
    const auto* held = static_cast<const str_t*>(text.handle());
    const std::string bytes = held != nullptr && held->buffer != nullptr ? held->buffer : "";
    const std::vector<std::string> arguments = model_arguments(bytes);

    const TStr split = TProcess::splitArgumentString(text);
    const auto* record = static_cast<const str_t*>(split.handle());
    fuzz::check_new_record(record);
    FUZZ_CHECK(record != nullptr);
    const bool null = record->buffer == nullptr;
    const std::string got = null ? std::string() : std::string(record->buffer);
    const std::string expected = model_join(arguments);
    if (null != arguments.empty() || got != expected) {
        fuzz::report(("split of \"" + fuzz::escaped(bytes) + "\"").c_str(), null, got, arguments.empty(), expected);
        std::abort();
    }
    return 0;
}
