#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that building and testing keloutil need, and
# only those that are missing (apt-get update runs first when any is). The
# windows group also unpacks TinyXML's Debian sources for the mingw-w64
# builds (scripts/fetch-tinyxml-source.sh), again only when missing, and
# 32-bit Wine for the i686 build's tests where this machine can run 32-bit
# programs (the i386 architecture is added to dpkg only when it is not there).
# Usage: scripts/install-deps.sh [main] [native] [windows] [fuzz]   (default: native)
#   main     building the library and kelo (scripts/run.sh)
#   native   main, and the Linux tests, benchmarks and packaging tests (scripts/test.sh)
set -euo pipefail

main=(
    g++ cmake ninja-build pkg-config
    libtinyxml-dev              # reads and writes the settings files
)
native=(
    "${main[@]}"
    googletest libgtest-dev     # unit tests
    doxygen                     # the reference documentation of the headers (target docs)
    libbenchmark-dev libicu-dev # benchmarks and their peers
    qtbase5-dev                 # a peer of the string, settings, process and conversion benchmarks; never linked into the library
    libglib2.0-dev              # a peer of the container benchmark only; never linked into the library
    dpkg-dev file lintian       # the Debian packages: cpack (dpkg-shlibdeps, file) and their check
)
windows=(
    cmake ninja-build googletest
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix # the -posix compilers build GoogleTest
    wine64                                              # runs the x86_64 test suite
)
fuzz=(
    clang libclang-rt-14-dev # libFuzzer and clang's sanitizer runtimes (not pulled in by clang)
)

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(native)
packages=()
for group in "${groups[@]}"; do
    case "$group" in
        main) packages+=("${main[@]}") ;;
        native) packages+=("${native[@]}") ;;
        windows) packages+=("${windows[@]}") ;;
        fuzz) packages+=("${fuzz[@]}") ;;
        *) echo "install-deps.sh: unknown group '$group' (main, native, windows, fuzz)" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# 32-bit Wine comes from Debian's i386 architecture.
install_wine32() {
    local status
    status=$(dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null || true)
    [ "$status" = "install ok installed" ] && return 0
    if ! "$(dirname "$0")/can-run-32bit.sh"; then
        echo "32-bit Wine not installed: this machine cannot run 32-bit programs (the i686 tests are skipped)"
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing package: wine32:i386 (run as root to install it)" >&2
        exit 1
    fi
    echo "Installing: wine32:i386"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends wine32:i386
}

for group in "${groups[@]}"; do
    if [ "$group" = windows ]; then
        "$(dirname "$0")/fetch-tinyxml-source.sh"
        install_wine32
    fi
done
