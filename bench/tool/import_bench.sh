#!/usr/bin/env bash
# tydb import beside tydb load: ROWS customer records (a number, a name, a city, a balance; two
# keys, the number and the city with duplicates) written by make_datafile.py as a data file of
# the original record manager, imported into a new file, and the same records as CSV loaded into
# a file created with the same definition. Prints both times, both rates and the ratio of the
# import rate to the load rate. Usage: bench/tool/import_bench.sh [BUILD_DIR] [ROWS]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$here/build}")
rows=${2:-100000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }

printf '[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=%s/w3btrv7\n' "$build" >"$work/settings.ini"
export TYWREG_FILE=$work/settings.ini
python3 "$here/bench/tool/make_datafile.py" "$rows" "$work/SOURCE.DAT" "$work/rows.csv"
printf 'number 0 4 integer\nname 4 30 string\ncity 34 20 string\nbalance 54 4 integer\n' >"$work/layout.txt"
"$build/tydb" create "$work/CUST.DAT" --record-length 58 --key 1:4:type=integer --key 35:20:dup >/dev/null

start=$(now)
"$build/tydb" import "$work/SOURCE.DAT" "$work/IMPORTED.DAT" >/dev/null
import=$(echo "$(now) - $start" | bc -l)

start=$(now)
"$build/tydb" load "$work/CUST.DAT" "$work/rows.csv" --layout "$work/layout.txt" >/dev/null
load=$(echo "$(now) - $start" | bc -l)

printf 'tydb import: %d records in %.2f s, %.0f records/s\n' "$rows" "$import" "$(echo "$rows / $import" | bc -l)"
printf 'tydb load:   %d records in %.2f s, %.0f records/s\n' "$rows" "$load" "$(echo "$rows / $load" | bc -l)"
printf 'ratio:       %.2f (import rate / load rate)\n' "$(echo "$load / $import" | bc -l)"
