// SPDX-License-Identifier: MIT
// The class interface from C++.
#include <keloutil/keloutil.hpp>

#include <cstdio>
#include <cstring>

int main() {
    const TStr joined = TStr("%1 and %2").arg(TStr("this")).arg(2);
    const bool ok = std::strcmp(joined.toUtf8(), "this and 2") == 0;
    std::printf("keloutil from C++: %s\n", ok ? "ok" : joined.toUtf8());
    return ok ? 0 : 1;
}
