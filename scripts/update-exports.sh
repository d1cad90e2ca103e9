#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Rewrites libraries/keloutil/keloutil.def, the export list of the Windows
# DLL, from the functions that the public C headers mark KELOUTIL_C_API, in
# the order in which keloutil.h includes the headers. The exports test
# checks the list against the headers and the DLL.
set -euo pipefail
cd "$(dirname "$0")/../libraries/keloutil"

headers=$(sed -n 's|^#include <\(keloutil/[a-z_]*\.h\)>$|include/\1|p' include/keloutil/keloutil.h)
{
    echo "; SPDX-License-Identifier: MIT"
    echo "; Functions that keloutil.dll exports by their plain names: the flat"
    echo "; interface and the version functions (classes are exported by their"
    echo "; declarations). Made by scripts/update-exports.sh; a test checks this"
    echo "; list against the public headers."
    echo "LIBRARY keloutil"
    echo "EXPORTS"
    # shellcheck disable=SC2086
    grep -ho "^KELOUTIL_C_API [^(]*(" $headers | sed -E 's/.*[ *]([A-Za-z_][A-Za-z0-9_]*)\($/    \1/'
} > keloutil.def
echo "keloutil.def: $(grep -c '^    ' keloutil.def) functions"
