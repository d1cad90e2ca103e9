// SPDX-License-Identifier: MIT
// kelo locale: the framework's internal name and folder name of a locale.
#include "commands.hpp"
#include "location_kinds.hpp"

#include <keloutil/locales.hpp>

#include <cstdio>
#include <string>

namespace kelo {

const char* const locale_usage =
    "kelo locale NAME [--no-default]\n"
    "    Print the internal name (ll_CC) and the folder name (ll-CC) of the locale\n"
    "    NAME: ll_CC or ll-CC in any case, or a three-letter language abbreviation\n"
    "    such as DEU, optionally followed by .CODESET and/or @MODIFIER as in LANG\n"
    "    (de_DE.UTF-8@euro), which are ignored. A name the framework does not\n"
    "    support stands for the default locale; with --no-default it is only\n"
    "    normalised, and a name that is not a locale at all gives exit status 1.\n";

std::string locale_name(const std::string& name) { return name.substr(0, name.find_first_of(".@")); }

int run_locale(Arguments args) {
    const CommandLine line = read_command_line(args, {{"no-default", 0, false}});
    expect_operands(line, 1, 1, "kelo locale NAME [--no-default]");
    args = line.operands;
    const bool use_default = !line.has("no-default");
    require_utf8(args.front(), "NAME");
    const std::string internal = utf8(KeloUtil::getKeloInternalLocale(TStr(locale_name(args.front()).c_str()), use_default));
    if (internal.empty()) fail("'" + args.front() + "' is not a locale");
    std::printf("internal  %s\nfolder    %s\n", internal.c_str(),
                utf8(KeloUtil::getKeloLocaleDir(TStr(internal.c_str()))).c_str());
    return 0;
}

} // namespace kelo
