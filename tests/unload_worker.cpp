// SPDX-License-Identifier: MIT
// Loads the unload probe (and with it keloutil), has it register clean-ups
// that append to LOG, and lets keloutil go. Usage: keloutil_unload_worker
// MODE LOG, where MODE "exit" returns from main with the library loaded and
// "unload" unloads the probe, checks that keloutil went with it and then
// appends "unloaded". The test reads LOG.
#include <cstdio>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#ifdef _WIN32
void* load(const std::filesystem::path& file) { return LoadLibraryW(file.wstring().c_str()); }
void* symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void unload(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
bool is_loaded(const char* file_name) { return GetModuleHandleA(file_name) != nullptr; }
#else
void* load(const std::filesystem::path& file) { return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* symbol(void* library, const char* name) { return dlsym(library, name); }
void unload(void* library) { dlclose(library); }
bool is_loaded(const char* file_name) {
    void* library = dlopen(file_name, RTLD_LAZY | RTLD_NOLOAD);
    if (library != nullptr) dlclose(library);
    return library != nullptr;
}
#endif

void log_line(const char* path, const char* line) {
    if (std::FILE* log = std::fopen(path, "ab")) {
        std::fprintf(log, "%s\n", line);
        std::fclose(log);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string mode = argv[1];
    const char* log = argv[2];
    void* probe = load(std::filesystem::u8path(argv[0]).parent_path() / PROBE_FILE_NAME);
    if (probe == nullptr) return 3;
    auto* probe_register = reinterpret_cast<int (*)(const char*)>(symbol(probe, "probe_register"));
    if (probe_register == nullptr || probe_register(log) != 0) return 4;
    if (!is_loaded(KELOUTIL_FILE_NAME)) return 5;
    if (mode == "exit") {
        log_line(log, "main returns");
        return 0;
    }
    unload(probe);
    if (is_loaded(KELOUTIL_FILE_NAME)) return 6;
    log_line(log, "unloaded");
    return 0;
}
