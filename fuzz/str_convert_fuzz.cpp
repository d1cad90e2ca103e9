// Feeds arbitrary bytes through str_set and reads them out again in another
// encoding. Besides memory errors (under the sanitizers) it checks the
// promises callers rely on: the measure never falls short of what a
// conversion writes, and nothing of the counted allocator leaks.
#include <keloutil/keloutil.h>

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 16) return 0;
    const int32_t from = data[0] % 6;
    const int32_t to = (data[0] / 6) % 6;
    const auto length = static_cast<int32_t>(size - 1);
    // A copy of exactly the input, so that any read past it is caught; the
    // extra bytes cover a marked UTF-16 source, whose mark is not counted.
    std::vector<uint8_t> source(data + 1, data + size);
    source.resize(source.size() + 2);
    const uint32_t before = memory_allocated();

    str_t* s = str_from(source.data(), length, from);
    const int32_t measure = str_encoding_requires_bytes(s->buffer, s->capacity, STR_ENC_UTF8, to);
    if (measure > 0) {
        std::vector<uint8_t> out(static_cast<size_t>(measure) + 8, 0xA5);
        const int32_t got = str_get(s, out.data(), measure, to);
        if (got != 0 && got != measure) std::abort();
        for (size_t i = static_cast<size_t>(measure); i < out.size(); ++i)
            if (out[i] != 0xA5) std::abort(); // wrote past the measured room
    }
    str_uninit(s);

    if (memory_allocated() != before) std::abort();
    return 0;
}
