// SPDX-License-Identifier: MIT
// The child of the TProcess tests. The first argument selects what it does:
//   echo     copies its standard input to its standard output, then writes
//            "echo: done" to its standard error
//   fds      lists its open file descriptors, one per line (Linux; nothing
//            elsewhere)
//   exit N   ends with exit status N
//   args     prints each further argument on a line of its own
// Any other first argument (a launcher is given the quoted program path)
// prints every argument from the first one on, each on its own line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h> // before shellapi.h, which relies on it

#include <shellapi.h>
#else
#include <dirent.h>
#endif

namespace {

// The arguments after the program name, in UTF-8, and binary standard
// streams, so that the bytes compared are the bytes sent.
std::vector<std::string> arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> result;
    for (int i = 1; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
        text.resize(text.size() - 1);
        result.push_back(text);
    }
    LocalFree(wide);
    return result;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

std::vector<int> open_descriptors() {
    std::vector<int> fds;
#ifndef _WIN32
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && std::atoi(name.c_str()) != dirfd(dir))
                fds.push_back(std::atoi(name.c_str()));
        }
        closedir(dir);
    }
    std::sort(fds.begin(), fds.end());
#endif
    return fds;
}

void print_lines(std::vector<std::string>::const_iterator first, std::vector<std::string>::const_iterator last) {
    for (; first != last; ++first) std::printf("%s\n", first->c_str());
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = arguments(argc, argv);
    const std::string mode = args.empty() ? "" : args[0];
    if (mode == "echo") {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) std::fwrite(buffer, 1, got, stdout);
        std::fflush(stdout);
        std::fputs("echo: done\n", stderr);
    } else if (mode == "fds") {
        for (int fd : open_descriptors()) std::printf("%d\n", fd);
    } else if (mode == "exit") {
        return args.size() > 1 ? std::atoi(args[1].c_str()) : 0;
    } else if (mode == "args") {
        print_lines(args.begin() + 1, args.end());
    } else {
        print_lines(args.begin(), args.end());
    }
    return 0;
}
