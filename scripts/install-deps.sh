#!/usr/bin/env bash
# Installs the Debian packages that building and testing keloutil need, and
# only those that are missing (apt-get update runs first when any is).
# Usage: scripts/install-deps.sh [PACKAGE...]   (default: the native build)
set -euo pipefail

native_packages=(
    g++ cmake ninja-build pkg-config
    googletest libgtest-dev     # unit tests
    libbenchmark-dev libicu-dev # benchmarks and their peers
)

packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=("${native_packages[@]}")

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
