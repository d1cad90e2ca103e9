// SPDX-License-Identifier: MIT
// kelo split-args: how the library cuts an argument text into arguments.
#include "commands.hpp"

#include <keloutil/tprocess.hpp>

#include <cstdio>

namespace kelo {

const char* const split_args_usage =
    "kelo split-args TEXT\n"
    "    Print the arguments that TEXT holds for a program that kelo run or the\n"
    "    library starts on Linux, one per line: blanks and tabs separate them,\n"
    "    \"...\" and '...' keep blanks together, a quote inside a word is kept,\n"
    "    and there is no escape character.\n";

int run_split_args(Arguments args) {
    args = read_operands(args, 1, 1, "kelo split-args TEXT");
    require_utf8(args.front(), "TEXT");
    const TStr text(args.front().c_str());
    const TStr split = TProcess::splitArgumentString(text);
    const auto* record = static_cast<const str_t*>(split.handle());
    if (record == nullptr || record->buffer == nullptr) return 0; // no arguments
    // The arguments are joined by "\r": each becomes a line break.
    for (const char* byte = record->buffer; *byte != '\0'; ++byte) std::putchar(*byte == '\r' ? '\n' : *byte);
    std::putchar('\n');
    return 0;
}

} // namespace kelo
