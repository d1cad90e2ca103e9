# SPDX-License-Identifier: MIT
# Sourced by the scripts that run Windows programs: a private Wine prefix in
# the build tree, no display, no debug output, and one server for the whole
# run. Without a running server and Wine's services started up front, every
# program waits seconds for them to release its output pipe.
#
# It sets up Wine for the x86_64 build; `wine_use i686` switches to 32-bit
# Wine and the i686 build's own 32-bit prefix.
wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd) # the prefixes live in its build folder
export WINEDEBUG=-all
export LC_ALL=C.UTF-8 # command lines reach Windows programs as UTF-8
unset DISPLAY

wine_use() {
    case "$1" in
    x86_64)
        export WINE=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
        export WINEPREFIX="$wine_root/build/windows-x64/wineprefix"
        unset WINEARCH
        ;;
    i686)
        export WINE=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
        [ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver64
        export WINEPREFIX="$wine_root/build/windows-x86/wineprefix" WINEARCH=win32
        ;;
    *)
        echo "wine_use: unknown build '$1' (x86_64, i686)" >&2
        return 2
        ;;
    esac
}

wine_start() {
    mkdir -p "$WINEPREFIX"
    "$WINESERVER" -p >/dev/null 2>&1 || true # already running
    "$WINE" wineboot --init >/dev/null 2>&1 || true
}

# Ends every Wine process of the prefix; safe to call more than once.
wine_stop() {
    [ -d "$WINEPREFIX" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
}

wine_use x86_64
