// SPDX-License-Identifier: MIT
// The kelo commands. Each takes the arguments after its name and returns the
// exit status; bad input is reported by throwing kelo::Failure.
#ifndef KELO_COMMANDS_HPP
#define KELO_COMMANDS_HPP

#include "cli.hpp"

namespace kelo {

int run_convert(Arguments args);
int run_str(Arguments args);
int run_path(Arguments args);
int run_settings(Arguments args);
int run_split_args(Arguments args);
int run_run(Arguments args);
int run_info(Arguments args);
int run_locale(Arguments args);
int run_location(Arguments args);

// Usage text of each command, for kelo --help.
extern const char* const convert_usage;
extern const char* const str_usage;
extern const char* const path_usage;
extern const char* const settings_usage;
extern const char* const split_args_usage;
extern const char* const run_usage;
extern const char* const info_usage;
extern const char* const locale_usage;
extern const char* const location_usage;

} // namespace kelo

#endif // KELO_COMMANDS_HPP
