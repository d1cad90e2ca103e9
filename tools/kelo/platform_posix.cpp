#include "platform.hpp"

namespace kelo {

// Arguments arrive as the bytes the caller gave; on these systems that is UTF-8.
Arguments command_line_arguments(int argc, char** argv) { return Arguments(argv + 1, argv + argc); }

// Standard streams are binary already.
void use_binary_standard_streams() {}

} // namespace kelo
