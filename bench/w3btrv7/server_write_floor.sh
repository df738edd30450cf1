#!/usr/bin/env bash
# What the server itself takes for the statements of one Insert of the server store, beside the
# raw libpq baseline's single INSERT, measured with pgbench (prepared statements, one client, the
# statements of one write in one pipeline, as the record manager sends them). The shapes run
# interleaved in one pgbench run, a shape drawn at random for each write, so that the drift of a
# small shared machine falls on all of them alike; each shape's mean latency is printed with its
# ratio to raw's, so that the part of server_bench's ratio the server's own work sets is known.
#
# Usage: bench/w3btrv7/server_write_floor.sh [SECONDS]
#   W3BTRV7_BENCH_SERVER_FILE=FILE   a file holding a libpq connection string; without it a test
#                                    server is started (scripts/test-postgres.sh) and stopped.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
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
CREATE FUNCTION $schema.refuse(state text) RETURNS boolean LANGUAGE plpgsql AS \$f\$
  BEGIN RAISE EXCEPTION 'refused %', state USING ERRCODE = state; END \$f\$;
CREATE FUNCTION $schema.expect(ok boolean, state text) RETURNS boolean LANGUAGE sql AS
  \$f\$ SELECT CASE WHEN ok THEN true ELSE $schema.refuse(state) END \$f\$;
CREATE FUNCTION $schema.expect_plpgsql(ok boolean, state text) RETURNS boolean LANGUAGE plpgsql AS \$f\$
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
# The same turn and check as the store's, had `expect` stayed a procedural function.
file_row_plpgsql="SELECT $schema.expect_plpgsql(generation = 1, 'W3B03') FROM $schema.w3b_file WHERE id = 1 FOR UPDATE NOWAIT;"
# Writers taking turns on an advisory lock instead of the file's row, the definition checked
# by a read after it: what another locking design would cost.
advisory_turn="SELECT $schema.expect(pg_try_advisory_xact_lock(1, 2), '55P03');"
definition_read="SELECT $schema.expect(generation = 1, 'W3B03') FROM $schema.w3b_file WHERE id = 1;"
# The record and its key entry in one statement.
fused="WITH placed AS (INSERT INTO $schema.w3b_record(file, position, data) VALUES(1, nextval('$schema.positions'), $record) RETURNING position) INSERT INTO $schema.w3b_entry(file, key, value, seq, position) SELECT 1, 0, int4send(position::int4), 0, position FROM placed RETURNING seq;"
shape() {
  local name=$1
  shift
  printf '%s\n' "$@" >"$work/$name.sql"
}
shape raw "INSERT INTO $schema.raw(id, data) VALUES(nextval('$schema.ids'), $record);"
shape raw_in_transaction '\startpipeline' 'BEGIN;' "INSERT INTO $schema.raw(id, data) VALUES(nextval('$schema.ids'), $record);" 'COMMIT;' '\endpipeline'
shape record_and_entry '\startpipeline' 'BEGIN;' "$insert_record" "$insert_entry" 'COMMIT;' '\endpipeline'
shape as_sent '\startpipeline' 'BEGIN;' "$file_row" "$insert_record" "$insert_entry" 'COMMIT;' '\endpipeline'
shape expect_plpgsql '\startpipeline' 'BEGIN;' "$file_row_plpgsql" "$insert_record" "$insert_entry" 'COMMIT;' '\endpipeline'
shape advisory_turn '\startpipeline' 'BEGIN;' "$advisory_turn" "$definition_read" "$insert_record" "$insert_entry" 'COMMIT;' '\endpipeline'
shape one_statement '\startpipeline' 'BEGIN;' "$file_row" "$fused" 'COMMIT;' '\endpipeline'
shapes=(raw raw_in_transaction record_and_entry as_sent expect_plpgsql advisory_turn one_statement)

scripts=()
for s in "${shapes[@]}"; do scripts+=(-f "$work/$s.sql@1"); done
pgbench -n -M prepared -T "$seconds" "${scripts[@]}" "$connection" >"$work/report" 2>&1 ||
  { cat "$work/report" >&2; exit 1; }
psql "$connection" -q -c "DROP SCHEMA $schema CASCADE" >/dev/null 2>&1 || true

echo "Server time per write, the shapes interleaved for ${seconds} s (mean ms, ratio to raw):"
awk '/^SQL script/ { n = $4; sub(/.*\//, "", n); sub(/\.sql$/, "", n) }
     /^ - latency average/ { ms[++count] = $5; name[count] = n }
     END { for (i = 1; i <= count; ++i) printf "  %-20s %.3f  %.2f\n", name[i], ms[i], ms[i] / ms[1] }' "$work/report"
