# Sourced by the scripts that run Windows programs: a private Wine prefix in
# the build tree, no display, no debug output, and one server for the whole
# run. Without a running server and Wine's services started up front, every
# program waits seconds for them to release its output pipe.
export WINE=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEPREFIX="$PWD/build/windows-x64/wineprefix"
export WINEDEBUG=-all
export LC_ALL=C.UTF-8 # command lines reach Windows programs as UTF-8
unset DISPLAY

wine_start() {
    mkdir -p "$WINEPREFIX"
    "$WINESERVER" -p >/dev/null 2>&1
    "$WINE" wineboot --init >/dev/null 2>&1
}

# Ends every Wine process of the prefix; safe to call more than once.
wine_stop() {
    [ -d "$WINEPREFIX" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
}
