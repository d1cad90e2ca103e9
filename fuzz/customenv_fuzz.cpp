// SPDX-License-Identifier: MIT
// Loads arbitrary bytes as a custom environment file, through the same path
// as a process's first request (the file named by a variable, read once),
// then looks up every file-location key. Environment variables that refer
// to each other and to themselves are set, so that the expansion of the
// values meets chains and cycles. The first byte chooses which variable
// names the file.
//
// Checks: the load answers a defined status and never crashes; a loaded
// file reports status 0; every value stays within what the input and 64
// expansions can produce; nothing of the counted allocator leaks.
#include "fuzz_support.hpp"

#include <keloutil/customenv.hpp>

#include "customenv_internal.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const char* const keys[] = {
    "KELO_COMMON_BIN_LOCATION",         "KELO_COMMON_LIB_LOCATION",  "KELO_COMMON_LOCALIZED_DATA_LOCATION",
    "KELO_COMMON_DATA_LOCATION",        "KELO_LOG_FILE_LOCATION",    "KELO_ERROR_TABLE_LOCATION",
    "KELO_USER_SETTINGS_FILE_LOCATION", "KELO_APPLICATION_KELO_RESOURCE_LOCATION",
    "KELO_APPLICATION_ERROR_LOG_FILE",
};

// The variables the values may refer to, and the longest of their values.
const char* const variables[][2] = {{"A", "$B\\a"}, {"B", "b$A"}, {"C", "x$C"}, {"D", "\\$D\\$A"}};
constexpr size_t longest_variable = 6;

std::string file_path;

void set_up() {
    // One "cannot be found" line per missing reference would flood the
    // fuzzer's output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    for (const auto& variable : variables) setenv(variable[0], variable[1], 1);
    unsetenv("MISSING");
    file_path = "/tmp/customenv_fuzz_" + std::to_string(getpid()) + ".xml";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (set_up(), true);
    (void)ready;
    if (size == 0) return 0;
    const bool thin = (data[0] & 1) != 0;
    FILE* file = std::fopen(file_path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(data + 1, 1, size - 1, file) == size - 1);
    std::fclose(file);
    unsetenv("NORVAXIS_KELO_THINCLIENT_ENV");
    unsetenv("NORVAXIS_KELO_CUSTOM_ENV");
    setenv(thin ? "NORVAXIS_KELO_THINCLIENT_ENV" : "NORVAXIS_KELO_CUSTOM_ENV", file_path.c_str(), 1);

    const uint32_t before = memory_allocated();
    keloutil::reset_custom_environment();
    CKeloUtilCustomEnv& env = CKeloUtilCustomEnv::instance();
    const bool loaded = env.hasSettings();
    const int32_t status = KeloUtil::loadCustomEnvSettings();
    FUZZ_CHECK(loaded ? status == 0 : status == (thin ? 2 : 3));
    FUZZ_CHECK(KeloUtil::isThinClient() == (loaded && thin));
    for (const char* key : keys) {
        const TStr value = env.getValue(key);
        FUZZ_CHECK(loaded || value.isEmpty());
        FUZZ_CHECK(static_cast<size_t>(value.length()) <= size + 64 * longest_variable);
    }
    keloutil::reset_custom_environment();
    FUZZ_CHECK(memory_allocated() == before);
    return 0;
}
