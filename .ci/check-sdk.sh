#!/usr/bin/env bash
# The SDK as a C programmer meets it: cmake --install of the build into a fresh prefix, then
# the C example built against it twice, with pkg-config and with find_package(tydb), and each
# program run on the installed record manager; the installed tool reads what it wrote.
# Usage: .ci/check-sdk.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
# The settings store says where the record manager is: the installed one, nothing else.
export TYWREG_FILE="$work/tywreg.ini"
"$prefix/bin/tydb" settings set PATH "$prefix/lib/w3btrv7" >/dev/null

expected="customer 1002: Abbott
customer 4711: status 4 (key value not found)
Abbott
Kowalski
Mills"
check_run() { # NAME PROGRAM
  mkdir -p "$work/data-$1"
  local got
  got="$("$2" "$work/data-$1")" || { echo "check-sdk: the $1 build of the example failed: $got" >&2; exit 1; }
  [ "$got" = "$expected" ] || { printf 'check-sdk: the %s build printed\n%s\n' "$1" "$got" >&2; exit 1; }
  "$prefix/bin/tydb" stat "$work/data-$1/CUSTOMER.DAT" | grep -q "Records: *3" ||
    { echo "check-sdk: the installed tool does not read the $1 build's file" >&2; exit 1; }
}

# pkg-config, as the README shows it.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
libdir="$(pkg-config --variable=libdir tydb)"
cc -std=c11 -Wall -Wextra -Werror -pedantic examples/c/customers.c $(pkg-config --cflags --libs tydb) \
  -Wl,-rpath,"$libdir" -o "$work/customers-pkgconfig"
check_run pkg-config "$work/customers-pkgconfig"

# find_package(tydb), as the README shows it.
cmake -S examples/c -B "$work/example-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="-Werror" >/dev/null
cmake --build "$work/example-build" >/dev/null
check_run find_package "$work/example-build/customers"

# The side-files header is C too: a data file's registry path as the library forms it.
printf '%s\n' '#include <stdio.h>' '#include <tydb_files.h>' \
  'int main(void) { char path[64]; if (!TydbSideFilePath("D:\\DATA", TYDB_REGISTRY_FILE_NAME, path, sizeof path)) return 1;' \
  '  puts(path); return sizeof(TydbRegistryRecord) == 34 ? 0 : 1; }' >"$work/side_files.c"
cc -std=c11 -Wall -Wextra -Werror -pedantic "$work/side_files.c" $(pkg-config --cflags tydb) -o "$work/side_files"
[ "$("$work/side_files")" = 'D:\DATA\tysupidx.db' ] || { echo "check-sdk: tydb_files.h gives another registry path" >&2; exit 1; }

echo "SDK: installed, the C example built with pkg-config and with find_package, both run; tydb_files.h in C"
