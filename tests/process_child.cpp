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
#include <filesystem>
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

int main(int argc, char** argv) {
    // The arguments after the program name, in UTF-8, and binary standard
    // streams, so that the bytes compared are the bytes sent.
#ifdef _WIN32
    (void)argc, (void)argv;
    for (FILE* stream : {stdin, stdout, stderr}) _setmode(_fileno(stream), _O_BINARY);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(std::filesystem::path(wide[i]).u8string());
    LocalFree(wide);
#else
    const std::vector<std::string> args(argv + 1, argv + argc);
#endif
    const std::string mode = args.empty() ? "" : args[0];
    if (mode == "echo") {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) std::fwrite(buffer, 1, got, stdout);
        std::fflush(stdout);
        std::fputs("echo: done\n", stderr);
    } else if (mode == "fds") {
#ifndef _WIN32
        // Read from /proc, not probed up to the descriptor limit, which can
        // be a billion; the directory's own descriptor is left out.
        std::vector<int> fds;
        if (DIR* dir = opendir("/proc/self/fd")) {
            while (const dirent* entry = readdir(dir))
                if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != dirfd(dir))
                    fds.push_back(std::atoi(entry->d_name));
            closedir(dir);
        }
        std::sort(fds.begin(), fds.end());
        for (int fd : fds) std::printf("%d\n", fd);
#endif
    } else if (mode == "exit") {
        return args.size() > 1 ? std::atoi(args[1].c_str()) : 0;
    } else {
        for (size_t i = mode == "args" ? 1 : 0; i < args.size(); ++i) std::printf("%s\n", args[i].c_str());
    }
    return 0;
}
