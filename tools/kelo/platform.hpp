// The few things kelo needs to do differently per platform; one source per
// platform implements them (platform_posix.cpp, platform_win32.cpp).
#ifndef KELO_PLATFORM_HPP
#define KELO_PLATFORM_HPP

#include "cli.hpp"

namespace kelo {

// The command-line arguments after the program name, in UTF-8.
Arguments command_line_arguments(int argc, char** argv);

// Makes standard input and output carry bytes unchanged (no newline
// translation), as converted text needs.
void use_binary_standard_streams();

} // namespace kelo

#endif // KELO_PLATFORM_HPP
