#!/usr/bin/env bash
# Checks the export and import tables of the built Windows DLLs, from `objdump -p` of the DLLs
# themselves, against their export lists as the build wrote them (exports/<target>-exports.txt
# in the build folder, one "ORDINAL NAME named|noname" a line; cmake/export-tables.cmake):
#   each DLL    exactly the listed ordinals; a name on exactly the entries listed as named; no
#               runtime DLL beyond the system's (libgcc, libstdc++ and winpthread are linked
#               statically).
#   tydb.dll    TyWReg.dll imported by ordinal only, and only the functions the library reads
#               with (TyWRegSelect, TyWRegGetSelection, TyWRegReadInt, TyWRegReadString).
#   .ci/check-win32-exports.sh [build folder, default build-win32]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-win32}"
objdump=i686-w64-mingw32-objdump
failures=0

fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# "ordinal name-or-dash" for every export of a DLL.
exports_of() {
    "$objdump" -p "$1" | awk '
        /^Export Address Table -- Ordinal Base/ { base = $NF; inExports = 1; next }
        /^\[Ordinal\/Name Pointer\] Table/ { inExports = 0; inNames = 1; next }
        inExports && /\+base\[/ {
            if (match($0, /\+base\[ *[0-9]+\]/)) {
                s = substr($0, RSTART, RLENGTH); gsub(/[^0-9]/, "", s); ordinal[s + 0] = 1
            }
            next
        }
        inNames && /^\t\[ *[0-9]+\] / {
            s = $0; sub(/^\t\[ */, "", s); index_ = s + 0; sub(/^[0-9]+\] /, "", s)
            name[index_ + base] = s; next
        }
        inNames && !/^\t/ { inNames = 0 }
        END { for (o in ordinal) print o, (o in name ? name[o] : "-") }
    ' | sort -n
}

# "ordinal-or-name" for every function a DLL imports from `library` (by ordinal: "#N").
imports_of() {
    "$objdump" -p "$1" | awk -v lib="$2" '
        /^\tDLL Name: / { current = tolower($3); next }
        current == tolower(lib) && /^\t[0-9a-f]+\t/ {
            n = split($0, f, /[ \t]+/)
            if (length(f[2]) == 8 && substr(f[2], 1, 1) == "8") print "#" f[3]; else print f[4]
        }
        /^$/ { current = "" }
    '
}

dlls_of() { "$objdump" -p "$1" | awk '/^\tDLL Name: / { print tolower($3) }' | sort -u; }

# Further arguments: system DLLs this one may need beside those every DLL may.
check_runtime() {
    local dll="$1" dep
    shift
    for dep in $(dlls_of "$dll"); do
        case " $* " in *" $dep "*) continue ;; esac
        case "$dep" in
            kernel32.dll|msvcrt.dll|advapi32.dll|user32.dll|tywreg.dll) ;;
            *) fail "$(basename "$dll") needs $dep, which a plain Windows does not have" ;;
        esac
    done
}

# Compares the exports of `dll` with the list the build wrote for its target `target`.
check_exports() {
    local dll="$1" list="$build/exports/$2-exports.txt" ordinal name kind got
    [ -f "$list" ] || { fail "$list not written by the build"; return; }
    local -A listedName listedKind exported
    while read -r ordinal name kind; do
        listedName[$ordinal]="$name"
        listedKind[$ordinal]="$kind"
    done <"$list"
    while read -r ordinal got; do
        exported[$ordinal]=1
        name="${listedName[$ordinal]:-}"
        if [ -z "$name" ]; then
            fail "$(basename "$dll") exports ordinal $ordinal ($got), which its list does not have"
        elif [ "${listedKind[$ordinal]}" = named ] && [ "$got" != "$name" ]; then
            fail "$(basename "$dll") ordinal $ordinal is named '$got', expected $name"
        elif [ "${listedKind[$ordinal]}" = noname ] && [ "$got" != "-" ]; then
            fail "$(basename "$dll") ordinal $ordinal carries the name '$got'; $name is exported by ordinal only"
        fi
    done < <(exports_of "$dll")
    for ordinal in "${!listedName[@]}"; do
        [ -n "${exported[$ordinal]:-}" ] || fail "$(basename "$dll") lacks ${listedName[$ordinal]} at ordinal $ordinal"
    done
    echo "$(basename "$dll"): ${#exported[@]} exports, ${#listedName[@]} listed"
}

for dll in tydb.dll TyWReg.dll w3btrv7/w3btrv7.dll; do
    [ -f "$build/$dll" ] || { echo "FAILED: $build/$dll not built"; exit 1; }
done
check_exports "$build/tydb.dll" tydb
check_exports "$build/TyWReg.dll" TyWReg
check_exports "$build/w3btrv7/w3btrv7.dll" w3btrv7

# TyWReg.dll is bound by ordinal, and only at the ordinals of the functions the library reads
# with.
declare -A readOrdinal
while read -r ordinal name kind; do
    case "$name" in
        TyWRegSelect|TyWRegGetSelection|TyWRegReadInt|TyWRegReadString) readOrdinal[$ordinal]=1 ;;
    esac
done <"$build/exports/TyWReg-exports.txt"
imports="$(imports_of "$build/tydb.dll" TyWReg.dll)"
[ -n "$imports" ] || fail "tydb.dll does not import TyWReg.dll"
for import in $imports; do
    case "$import" in
        '#'*) [ -n "${readOrdinal[${import#\#}]:-}" ] ||
            fail "tydb.dll imports TyWReg.dll ordinal ${import#\#}; the library only reads (ordinals ${!readOrdinal[*]})" ;;
        *) fail "tydb.dll imports TyWReg.dll's $import by name; it must be by ordinal" ;;
    esac
done

check_runtime "$build/tydb.dll"
check_runtime "$build/TyWReg.dll"
# libpq, for the server store: sockets, SSPI authentication, the user's profile folder.
check_runtime "$build/w3btrv7/w3btrv7.dll" ws2_32.dll secur32.dll shell32.dll

if [ "$failures" -gt 0 ]; then
    echo "win32 export check: $failures failures"
    exit 1
fi
echo "win32 export check: ok"
