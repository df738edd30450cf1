#!/usr/bin/env bash
# What the server itself takes for the statements of one Insert of the server store, beside the
# raw libpq baseline's single INSERT, measured with pgbench (prepared statements, one client, the
# statements of one write in one pipeline, as the record manager sends them). Each shape runs
# ROUNDS times for SECONDS, interleaved; the fastest round of each is printed with its ratio to
# raw, so that the part of server_bench's ratio the server's own work sets is known.
#
# Usage: bench/w3btrv7/server_write_floor.sh [ROUNDS] [SECONDS]
#   W3BTRV7_BENCH_SERVER_FILE=FILE   a file holding a libpq connection string; without it a test
#                                    server is started (scripts/test-postgres.sh) and stopped.
set -euo pipefail
cd "$(dirname "$0")/../.."
rounds=${1:-5}
seconds=${2:-3}
work=$(mktemp -d)
state=${W3BTRV7_BENCH_SERVER_FILE:-}
cleanup() {
  [ -z "${W3BTRV7_BENCH_SERVER_FILE:-}" ] && scripts/test-postgres.sh stop "$work/postgres" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "$state" ]; then
  state="$work/postgres"
  scripts/test-postgres.sh start "$state" >/dev/null
fi
connection=$(head -n 1 "$state")
schema="floor_$$"

# The server store's layout for one file (records, key entries, the file's row with its
# generation, the position sequence) and raw's table, as server_bench makes them.
psql "$connection" -q -v ON_ERROR_STOP=1 <<SQL
CREATE SCHEMA $schema;
CREATE FUNCTION $schema.expect(ok boolean, state text) RETURNS boolean LANGUAGE plpgsql AS \$f\$
  BEGIN IF ok IS NOT TRUE THEN RAISE EXCEPTION 'refused %', state USING ERRCODE = state; END IF; RETURN true; END \$f\$;
CREATE TABLE $schema.w3b_file(id integer PRIMARY KEY, generation bigint NOT NULL);
INSERT INTO $schema.w3b_file VALUES (1, 1);
CREATE SEQUENCE $schema.positions MINVALUE 1;
CREATE TABLE $schema.w3b_record(file integer NOT NULL, position bigint NOT NULL, data bytea NOT NULL,
  PRIMARY KEY (file, position));
CREATE TABLE $schema.w3b_entry(file integer NOT NULL, key smallint NOT NULL, value bytea NOT NULL,
  seq bigint NOT NULL, position bigint NOT NULL, PRIMARY KEY (file, key, value, seq));
CREATE SEQUENCE $schema.ids;
CREATE TABLE $schema.raw(id integer PRIMARY KEY, data bytea NOT NULL);
SQL

record="decode(repeat('72', 100), 'hex')"
insert_record="INSERT INTO $schema.w3b_record(file, position, data) VALUES(1, nextval('$schema.positions'), $record) RETURNING position;"
insert_entry="INSERT INTO $schema.w3b_entry(file, key, value, seq, position) VALUES(1, 0, int4send(currval('$schema.positions')::int4), 0, currval('$schema.positions')) RETURNING seq;"
file_row="SELECT $schema.expect(generation = 1, 'W3B03') FROM $schema.w3b_file WHERE id = 1 FOR UPDATE NOWAIT;"
shape() {
  local name=$1
  shift
  printf '%s\n' "$@" >"$work/$name.sql"
}
shape raw "INSERT INTO $schema.raw(id, data) VALUES(nextval('$schema.ids'), $record);"
shape raw_in_transaction '\startpipeline' 'BEGIN;' "INSERT INTO $schema.raw(id, data) VALUES(nextval('$schema.ids'), $record);" 'COMMIT;' '\endpipeline'
shape record_and_entry '\startpipeline' 'BEGIN;' "$insert_record" "$insert_entry" 'COMMIT;' '\endpipeline'
shape with_file_row '\startpipeline' 'BEGIN;' "$file_row" "$insert_record" "$insert_entry" 'COMMIT;' '\endpipeline'
shapes=(raw raw_in_transaction record_and_entry with_file_row)

for ((round = 0; round < rounds; ++round)); do
  for s in "${shapes[@]}"; do
    latency=$(pgbench -n -M prepared -T "$seconds" -f "$work/$s.sql" "$connection" 2>&1 | sed -n 's/^latency average = \([0-9.]*\) ms/\1/p')
    echo "$s $latency" >>"$work/latencies"
  done
done
psql "$connection" -q -c "DROP SCHEMA $schema CASCADE" >/dev/null 2>&1 || true

echo "Server time per write, fastest of $rounds rounds of ${seconds} s (ms, ratio to raw):"
raw=$(awk '$1 == "raw" {print $2}' "$work/latencies" | sort -n | head -n 1)
for s in "${shapes[@]}"; do
  best=$(awk -v s="$s" '$1 == s {print $2}' "$work/latencies" | sort -n | head -n 1)
  awk -v s="$s" -v b="$best" -v r="$raw" 'BEGIN { printf "  %-20s %.3f  %.2f\n", s, b, b / r }'
done
