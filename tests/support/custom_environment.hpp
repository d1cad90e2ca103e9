// SPDX-License-Identifier: MIT
// A custom environment file in force for the life of an object, for the
// tests built against the static library variant, which can reset the one
// instance that otherwise loads once per process (customenv_internal.h).
#ifndef KELOUTIL_TESTS_CUSTOM_ENVIRONMENT_HPP
#define KELOUTIL_TESTS_CUSTOM_ENVIRONMENT_HPP

#include "customenv_internal.h"
#include "test_support.hpp"

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>

// `body` in an element `tag` for Linux and in one for Windows, so that the
// same answers hold on both builds.
inline std::string for_both_platforms(const std::string& body, const std::string& tag = "PLATFORM") {
    return "<" + tag + " OS=\"Linux\">" + body + "</" + tag + "><" + tag + " OS=\"Windows\">" + body + "</" + tag + ">";
}

// A custom environment file that gives these keys on both platforms.
inline std::string custom_environment(std::initializer_list<std::pair<const char*, const char*>> keys) {
    std::string body;
    for (const auto& [id, value] : keys) body += std::string("<KEY ID=\"") + id + "\"><STRING>" + value + "</STRING></KEY>";
    return "<KELOCUSTOMENV>" + for_both_platforms(body) + "</KELOCUSTOMENV>";
}

// Writes `content` to a file of its own that NORVAXIS_KELO_CUSTOM_ENV names,
// for the next lookup to load afresh; afterwards the file goes, the
// variable is put back and the instance is reset again.
class CustomEnvironmentFile {
public:
    explicit CustomEnvironmentFile(const std::string& content) {
        std::ofstream(path_, std::ios::binary) << content;
        keloutil::reset_custom_environment();
    }
    ~CustomEnvironmentFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        keloutil::reset_custom_environment();
    }
    CustomEnvironmentFile(const CustomEnvironmentFile&) = delete;
    CustomEnvironmentFile& operator=(const CustomEnvironmentFile&) = delete;

private:
    // Named at random: test processes may run side by side.
    const std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                        ("keloutil-customenv-" + std::to_string(std::random_device()()) + ".xml");
    const ScopedEnvironment variable_{"NORVAXIS_KELO_CUSTOM_ENV", path_.string()};
};

#endif // KELOUTIL_TESTS_CUSTOM_ENVIRONMENT_HPP
