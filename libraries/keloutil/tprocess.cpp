// TProcess: the process record and its descriptor table, starting a child
// through the platform seam, and the argument splitter.
#include <keloutil/tprocess.hpp>

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

} // namespace

TStr TProcess::splitArgumentString(const TStr& text) {
    const auto* record = static_cast<const str_t*>(text.handle());
    const char* bytes = record != nullptr && record->buffer != nullptr ? record->buffer : "";
    // The arguments are joined as str_push joins a list, so "\r" inside an
    // argument counts towards the one separator at a junction.
    str_t* joined = str_init();
    str_t* separator = str_from_cstr("\r");
    if (joined == nullptr || separator == nullptr) {
        str_uninit(joined);
        str_uninit(separator);
        return TStr();
    }
    for (const std::string& argument : split_arguments(bytes)) {
        str_t* item = record_of_bytes(argument);
        str_push(joined, item, separator);
        str_uninit(item);
    }
    str_uninit(separator);
    void* handle = joined;
    return TStr(handle);
}
