#!/bin/sh
# Lists the writable data objects defined by the system's libraries: objects
# in .data or .bss sections (not .data.rel.ro, which is read-only once the
# program is loaded, and not the compiler's DW.ref exception-handling
# pointers). The standard library's per-file stream initialiser
# (std::__ioinit) is allowed, and so are function-local constants built on
# first use (a "static const" inside a function, with its guard variable):
# they never change once built. Exits 1 when anything else is found.
# Usage: scripts/check-globals.sh [BUILD_DIR]
set -eu
build=${1:-build}
found=$(for lib in "$build"/*/libw2r_*.a; do
    objdump -t -C "$lib" | awk -v lib="$(basename "$lib")" '
        $3 == "O" && $4 ~ /^\.(data|bss)/ && $4 !~ /^\.data\.rel\.ro/ && $4 !~ /DW\.ref/ {
            name = $0; sub(/^.*\t[0-9a-f]+ /, "", name)
            if (name !~ /std::__ioinit/) print lib ": " $4 " " name
        }'
done)
here=$(cd "$(dirname "$0")/.." && pwd)
# Drops function-local statics whose definition in the sources is const.
found=$(printf '%s\n' "$found" | while IFS= read -r line; do
    [ -n "$line" ] || continue
    case "$line" in
    *")::"*)
        name=${line##*::}
        if grep -rqE "static const[^;(]*[ *&]$name( |=|\{|\(|\[|;)" --include='*.cpp' --include='*.h' "$here"; then
            continue
        fi ;;
    esac
    printf '%s\n' "$line"
done)
if [ -n "$found" ]; then
    echo "writable globals:"; echo "$found"; exit 1
fi
echo "check-globals: no writable global data in $(ls "$build"/*/libw2r_*.a | wc -l) libraries"
