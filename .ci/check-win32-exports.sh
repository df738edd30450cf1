#!/usr/bin/env bash
# Checks the export and import tables of the built Windows DLLs against their tables in the
# repository, from `objdump -p` of the DLLs themselves:
#   tydb.dll    every export at an ordinal of src/exports/tydb.def; a name exactly on the seven
#               named entries; every function of the POSIX export list present on Windows too;
#               TyWReg.dll imported by ordinal only (1, 2, 4, 6); no runtime DLL beyond the
#               system's (libgcc, libstdc++ and winpthread are linked statically).
#   TyWReg.dll  ordinals 1 to 6, no names.
#   w3btrv7.dll BTRCALL and the administration entry points W3bServerInit, W3bServerMove,
#               W3bFileStoreOf, W3bCheckFile, W3bBackupFile, W3bRecoverFile,
#               W3bRecoverFileAs and W3bInsertAt, by name.
# With --complete every entry of tydb.def must be exported (all 55).
#   .ci/check-win32-exports.sh [--complete] [build folder, default build-win32]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
complete=0
if [ "${1:-}" = "--complete" ]; then complete=1; shift; fi
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

# ---- tydb.dll ----------------------------------------------------------------------------------
table="$root/src/exports/tydb.def"
dll="$build/tydb.dll"
[ -f "$dll" ] || { echo "FAILED: $dll not built"; exit 1; }

declare -A tableName tableNamed
while read -r name ordinal noname; do
    tableName[$ordinal]="$name"
    if [ "$noname" = "NONAME" ]; then tableNamed[$ordinal]=0; else tableNamed[$ordinal]=1; fi
done < <(sed -n 's/^[[:space:]]*\([A-Za-z_][A-Za-z0-9_]*\)[[:space:]]\+@\([0-9]\+\)[[:space:]]*\(NONAME\)\?[[:space:]]*$/\1 \2 \3/p' "$table")
[ "${#tableName[@]}" -eq 55 ] || fail "tydb.def lists ${#tableName[@]} exports, not 55"

declare -A exported
count=0
while read -r ordinal name; do
    exported[$ordinal]="$name"
    count=$((count + 1))
    if [ -z "${tableName[$ordinal]:-}" ]; then
        fail "tydb.dll exports ordinal $ordinal ($name), which tydb.def does not list"
    elif [ "${tableNamed[$ordinal]}" = 1 ] && [ "$name" != "${tableName[$ordinal]}" ]; then
        fail "tydb.dll ordinal $ordinal is named '$name', expected ${tableName[$ordinal]}"
    elif [ "${tableNamed[$ordinal]}" = 0 ] && [ "$name" != "-" ]; then
        fail "tydb.dll ordinal $ordinal carries the name '$name'; ${tableName[$ordinal]} is exported by ordinal only"
    fi
done < <(exports_of "$dll")

missing=()
for ordinal in "${!tableName[@]}"; do
    [ -n "${exported[$ordinal]:-}" ] || missing+=("${tableName[$ordinal]}@$ordinal")
done
if [ "$complete" = 1 ] && [ "${#missing[@]}" -gt 0 ]; then
    fail "tydb.dll lacks ${#missing[@]} exports: ${missing[*]}"
fi

# Every function exported on POSIX is exported on Windows.
declare -A ordinalOf
for ordinal in "${!tableName[@]}"; do ordinalOf[${tableName[$ordinal]}]=$ordinal; done
while read -r name; do
    ordinal="${ordinalOf[$name]:-}"
    if [ -z "$ordinal" ]; then
        fail "$name is in the POSIX export list but not in tydb.def"
    elif [ -z "${exported[$ordinal]:-}" ]; then
        fail "$name is exported on POSIX but tydb.dll lacks ordinal $ordinal"
    fi
done < <(sed -n 's/^[[:space:]]*\(Db[A-Za-z0-9_]*\);[[:space:]]*$/\1/p' "$root/src/exports/tydb.map")

# TyWReg.dll is bound by ordinal, and only at the four ordinals the library reads with.
while read -r import; do
    case "$import" in
        '#1'|'#2'|'#4'|'#6') ;;
        '#'*) fail "tydb.dll imports TyWReg.dll ordinal ${import#\#}; the library only reads (1, 2, 4, 6)" ;;
        *) fail "tydb.dll imports TyWReg.dll's $import by name; it must be by ordinal" ;;
    esac
done < <(imports_of "$dll" TyWReg.dll)
[ -n "$(imports_of "$dll" TyWReg.dll)" ] || fail "tydb.dll does not import TyWReg.dll"
check_runtime "$dll"
echo "tydb.dll: $count of 55 exports at their ordinals, ${#missing[@]} not built yet"

# ---- TyWReg.dll --------------------------------------------------------------------------------
dll="$build/TyWReg.dll"
got="$(exports_of "$dll" | tr '\n' ' ')"
[ "$got" = "1 - 2 - 3 - 4 - 5 - 6 - " ] || fail "TyWReg.dll exports '$got', expected ordinals 1 to 6 without names"
check_runtime "$dll"
echo "TyWReg.dll: ordinals 1 to 6, no names"

# ---- w3btrv7.dll -------------------------------------------------------------------------------
dll="$build/w3btrv7/w3btrv7.dll"
got="$(exports_of "$dll" | awk '{ print $2 }' | tr '\n' ' ')"
[ "$got" = "BTRCALL W3bServerInit W3bServerMove W3bFileStoreOf W3bCheckFile W3bBackupFile W3bRecoverFile W3bRecoverFileAs W3bInsertAt " ] ||
    fail "w3btrv7.dll exports '$got', expected BTRCALL, W3bServerInit, W3bServerMove, W3bFileStoreOf, W3bCheckFile, W3bBackupFile, W3bRecoverFile, W3bRecoverFileAs and W3bInsertAt"
# libpq, for the server store: sockets, SSPI authentication, the user's profile folder.
check_runtime "$dll" ws2_32.dll secur32.dll shell32.dll
echo "w3btrv7.dll: BTRCALL, W3bServerInit, W3bServerMove, W3bFileStoreOf, W3bCheckFile, W3bBackupFile, W3bRecoverFile, W3bRecoverFileAs, W3bInsertAt"

if [ "$failures" -gt 0 ]; then
    echo "win32 export check: $failures failures"
    exit 1
fi
echo "win32 export check: ok"
