#!/usr/bin/env bash
# tydb load beside sqlite3 .import: ROWS rows of CSV (a number, a name, a city, a balance) into a
# file with two keys (the number; the city, with duplicates), and the same CSV imported by the
# sqlite3 shell into a table keyed by the number with an index on the city. Prints both times and
# their ratio. Usage: bench/tool/load_bench.sh [BUILD_DIR] [ROWS]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$here/build}")
rows=${2:-200000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }

printf '[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=%s/w3btrv7\n' "$build" >"$work/settings.ini"
export TYWREG_FILE=$work/settings.ini
python3 - "$rows" >"$work/rows.csv" <<'PY'
import random, sys
random.seed(1)
print("number,name,city,balance")
for i in range(int(sys.argv[1])):
    print(f"{i + 1},Customer {i:06d},City {random.randint(0, 999)},{random.randint(-100000, 100000)}")
PY
printf 'number 0 4 integer\nname 4 30 string\ncity 34 20 string\nbalance 54 4 integer\n' >"$work/layout.txt"
"$build/tydb" create "$work/CUST.DAT" --record-length 58 --key 1:4:type=integer --key 35:20:dup >/dev/null

start=$(now)
"$build/tydb" load "$work/CUST.DAT" "$work/rows.csv" --layout "$work/layout.txt" >/dev/null
load=$(echo "$(now) - $start" | bc -l)

start=$(now)
sqlite3 "$work/raw.db" <<SQL
CREATE TABLE customers(number INTEGER PRIMARY KEY, name TEXT, city TEXT, balance INTEGER);
CREATE INDEX customers_city ON customers(city);
.mode csv
.import --skip 1 $work/rows.csv customers
SQL
import=$(echo "$(now) - $start" | bc -l)

printf 'tydb load:       %d rows in %.2f s\n' "$rows" "$load"
printf 'sqlite3 .import: %d rows in %.2f s\n' "$rows" "$import"
printf 'ratio:           %.2f\n' "$(echo "$load / $import" | bc -l)"
