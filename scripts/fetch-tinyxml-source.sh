#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Unpacks Debian's source package of TinyXML, with Debian's patches applied,
# into build/deps/tinyxml/ for the Windows builds, which compile it with the
# mingw-w64 toolchain (cmake/modules/FindTinyXML.cmake). Does nothing when
# it is already there. Otherwise, as root: adds "deb-src" entries for the
# configured "deb" entries that have none, in a file of its own, updates the
# package lists and runs apt-get source.
set -euo pipefail
cd "$(dirname "$0")/.."

cache=build/deps/tinyxml
for dir in "$cache"/tinyxml-*/; do
    [ -f "$dir/tinyxml.cpp" ] && exit 0
done

if [ "$(id -u)" -ne 0 ]; then
    echo "TinyXML's source is missing from $cache (run $0 as root to fetch it)" >&2
    exit 1
fi
mkdir -p "$cache"
scratch=$(mktemp -d "$cache/.fetch.XXXXXX")
chown _apt "$scratch" 2>/dev/null || true # apt-get downloads as its unprivileged user
trap 'rm -rf "$scratch"' EXIT

export DEBIAN_FRONTEND=noninteractive
own=/etc/apt/sources.list.d/keloutil-deb-src.sources

# Prints a deb822 "deb-src" stanza for each URI and suite of a "deb" entry
# whose components have no "deb-src" entry yet, with the same Signed-By.
# Reads one-line files (*.list) and deb822 files (*.sources) alike.
missing_deb_src() {
    awk '
    # One entry: each of its types, URIs and suites with all its components
    # (none for a flat repository, whose suite is a path ending in "/").
    function add(types, uris, suites, comps, signed,    nt, nu, ns, nc, t, u, s, c, T, U, S, C, key) {
        nt = split(types, T); nu = split(uris, U); ns = split(suites, S); nc = split(comps, C)
        for (t = 1; t <= nt; t++) for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++) {
            sub(/\/+$/, "", U[u])
            key = U[u] " " S[s]
            if (T[t] == "deb" && !(key in signedby)) { keys[++n] = key; signedby[key] = signed }
            for (c = 1; c <= (nc ? nc : 1); c++) {
                if (T[t] == "deb-src") src[key, C[c]] = 1
                else if (T[t] == "deb" && !((key, C[c]) in deb)) { deb[key, C[c]] = 1; comp[key, ++m[key]] = C[c] }
            }
        }
    }
    function stanza() {
        if (enabled != "no" && types != "") add(types, uris, suites, comps, signed)
        types = uris = suites = comps = signed = enabled = field = ""
    }
    FNR == 1 { stanza() }
    FILENAME ~ /\.list$/ { # deb [ option=value ... ] uri suite [component ...]
        sub(/#.*/, ""); options = ""; signed = ""
        if (match($0, /\[[^]]*\]/)) {
            options = substr($0, RSTART + 1, RLENGTH - 2)
            $0 = substr($0, 1, RSTART - 1) " " substr($0, RSTART + RLENGTH)
            if (match(options, /signed-by=[^ \t]+/)) signed = substr(options, RSTART + 10, RLENGTH - 10)
        }
        comps = ""; for (i = 4; i <= NF; i++) comps = comps " " $i
        if (NF >= 3) add($1, $2, $3, comps, signed)
        next
    }
    /^#/ { next }
    /^[ \t]*$/ { stanza(); next }
    /^[ \t]/ { if (field == "signed-by") signed = signed "\n" $0; next } # an inline key
    {
        field = tolower(substr($0, 1, index($0, ":") - 1)); value = substr($0, index($0, ":") + 1)
        gsub(/^[ \t]+|[ \t]+$/, "", value)
        if (field == "types") types = value
        else if (field == "uris") uris = value
        else if (field == "suites") suites = value
        else if (field == "components") comps = value
        else if (field == "signed-by") signed = value
        else if (field == "enabled") enabled = tolower(value)
    }
    END {
        stanza()
        for (i = 1; i <= n; i++) {
            key = keys[i]; comps = ""; flat = 0
            for (c = 1; c <= m[key]; c++) {
                if ((key, comp[key, c]) in src) continue
                if (comp[key, c] == "") flat = 1; else comps = comps " " comp[key, c]
            }
            if (!flat && comps == "") continue
            split(key, KS, " ")
            printf "Types: deb-src\nURIs: %s\nSuites: %s\n", KS[1], KS[2]
            if (comps != "") printf "Components:%s\n", comps
            if (signedby[key] != "") printf "Signed-By: %s\n", signedby[key]
            print ""
        }
    }' "$@"
}

shopt -s nullglob
lists=()
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && [ "$file" != "$own" ] && lists+=("$file")
done
entries=$(missing_deb_src "${lists[@]}")
if [ -n "$entries" ]; then
    {
        echo "# Added by keloutil's scripts/fetch-tinyxml-source.sh: the source entries of"
        echo "# the binary entries that have none, for apt-get source."
        echo
        echo "$entries"
    } >"$scratch/listing"
    install -m 0644 "$scratch/listing" "$own"
else
    rm -f "$own"
fi

echo "Fetching Debian's source package of TinyXML into $cache"
apt-get update -qq
[ "$(dpkg-query -W -f='${Status}' dpkg-dev 2>/dev/null || true)" = "install ok installed" ] ||
    apt-get install -y -qq --no-install-recommends dpkg-dev
# Unpacked in the scratch folder and moved into place whole, so that an
# interrupted run leaves nothing that looks complete.
(cd "$scratch" && apt-get source -qq tinyxml </dev/null)
unpacked=("$scratch"/tinyxml-*/)
mv "${unpacked[0]}" "$cache/"
