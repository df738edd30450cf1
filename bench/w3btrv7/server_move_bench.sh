#!/usr/bin/env bash
# tydb server move beside raw COPY: a folder of one file of RECORDS records (two keys, one with
# duplicates) moves to a fresh PostgreSQL server of the test suite's kind; then the same rows
# (records and key entries, as the move wrote them) are sent with psql's \copy in binary form
# into tables of the same shape and primary keys, in one transaction. Prints both rates and their
# ratio. The move also reads the SQLite file and reads every record back to verify the copy.
# Usage: bench/w3btrv7/server_move_bench.sh [BUILD_DIR] [RECORDS]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$here/build}")
records=${2:-100000}
work=$(mktemp -d)
state=$work/postgres
trap '"$here/scripts/test-postgres.sh" stop "$state"; rm -rf "$work"' EXIT
"$here/scripts/test-postgres.sh" start "$state" >/dev/null
connection=$(cat "$state")
now() { date +%s.%N; }

printf '[HKEY_LOCAL_MACHINE\\Pervasive\\11]\nPATH=%s/w3btrv7\n' "$build" >"$work/settings.ini"
export TYWREG_FILE=$work/settings.ini
mkdir "$work/data"
printf 'number 0 4 integer\nname 4 40 string\ncity 44 20 string\nnote 64 36 string\n' >"$work/layout.txt"
python3 - "$records" >"$work/rows.csv" <<'PY'
import sys
print("number,name,city,note")
for i in range(int(sys.argv[1])):
    print(f"{i},name {i * 7919 % 100003},city {i % 500},note of record {i}")
PY
"$build/tydb" create "$work/data/BENCH.DAT" --record-length 100 --key 1:4:type=integer --key 45:20:dup >/dev/null
"$build/tydb" load "$work/data/BENCH.DAT" "$work/rows.csv" --layout "$work/layout.txt" >/dev/null
"$build/tydb" server init "$work/data" --connection "$connection" --schema bench >/dev/null

start=$(now)
"$build/tydb" server move "$work/data" >/dev/null
move=$(echo "$(now) - $start" | bc -l)

psql -q -X -v ON_ERROR_STOP=1 "$connection" <<SQL
\copy (SELECT file, position, data FROM bench.w3b_record) TO '$work/records.bin' (FORMAT binary)
\copy (SELECT file, key, value, seq, position FROM bench.w3b_entry) TO '$work/entries.bin' (FORMAT binary)
CREATE SCHEMA raw;
CREATE TABLE raw.record(file integer, position bigint, data bytea NOT NULL, PRIMARY KEY (file, position));
CREATE TABLE raw.entry(file integer, key smallint, value bytea, seq bigint, position bigint NOT NULL,
  PRIMARY KEY (file, key, value, seq));
SQL
start=$(now)
psql -q -X -v ON_ERROR_STOP=1 "$connection" <<SQL
BEGIN;
\copy raw.record FROM '$work/records.bin' (FORMAT binary)
\copy raw.entry FROM '$work/entries.bin' (FORMAT binary)
COMMIT;
SQL
copy=$(echo "$(now) - $start" | bc -l)

printf 'records: %d\n' "$records"
printf 'tydb server move: %.2f s, %.0f records/s\n' "$move" "$(echo "$records / $move" | bc -l)"
printf 'raw COPY:         %.2f s, %.0f records/s\n' "$copy" "$(echo "$records / $copy" | bc -l)"
printf 'move rate / COPY rate: %.2f\n' "$(echo "$copy / $move" | bc -l)"
