// The records of the flat interface as plain-C callers on 32-bit targets see
// them: those callers were written against 32-bit pointers, so on such
// targets every record must keep exactly this size and field order.
#include <keloutil/keloutil.h>

#include <cstddef>

namespace {

constexpr bool is_32_bit = sizeof(void*) == 4;

static_assert(!is_32_bit || sizeof(str_t) == 8, "str_t: buffer, capacity");
static_assert(!is_32_bit || offsetof(str_t, capacity) == 4, "str_t: capacity follows buffer");

} // namespace
