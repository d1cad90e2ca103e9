// SPDX-License-Identifier: MIT
// A module that uses keloutil the way the framework's modules do: loaded at
// run time, it registers clean-ups with the object manager. The unload
// worker loads it; keloutil comes and goes with it.
#include <keloutil/objectmanager.hpp>

#include <cstdio>

#ifdef _WIN32
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

char log_path[4096];

void log_line(const char* line) {
    if (std::FILE* log = std::fopen(log_path, "ab")) {
        std::fprintf(log, "%s\n", line);
        std::fclose(log);
    }
}

void log_object(void* object, void*) { log_line(static_cast<const char*>(object)); }

// Relies on the default cleanup, which deletes the object.
class LoggedOnDelete : public CKeloUtilCleanup {
public:
    ~LoggedOnDelete() override { log_line("b"); }
};

char a[] = "a";

} // namespace

// Registers the clean-ups a and b, which append their names to the file
// `log` when they run. 0 when both were accepted.
PROBE_EXPORT int probe_register(const char* log) {
    std::snprintf(log_path, sizeof log_path, "%s", log);
    int failures = 0;
    failures -= CKeloUtilObjectManager::at_exit(a, log_object, nullptr);
    failures -= CKeloUtilObjectManager::at_exit(new LoggedOnDelete, nullptr);
    return failures;
}
