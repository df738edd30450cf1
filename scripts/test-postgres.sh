#!/usr/bin/env bash
# Starts, restarts or stops the PostgreSQL server of the test suite: a fresh cluster in a new
# folder under /tmp (which the server's user can reach wherever the build is), listening on
# 127.0.0.1 at a free port with its socket in that folder, run as an unprivileged user (the
# server refuses root). `start` writes the libpq connection string to STATE and the cluster's
# folder to STATE.folder.
# Usage: scripts/test-postgres.sh start|restart|stop STATE
set -euo pipefail
action=$1
state=$2
folder=$(cat "$state.folder" 2>/dev/null || true)

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "PostgreSQL is not installed (no initdb under /usr/lib/postgresql); install the postgresql package" >&2
  exit 1
fi

# As root, the server runs as the postgres user the package made.
as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

stop() {
  if [ -n "$folder" ] && [ -f "$folder/data/postmaster.pid" ]; then
    as_server_user "$bindir/pg_ctl" -D "$folder/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  if [ -n "$folder" ]; then rm -rf "$folder"; fi
  rm -f "$state" "$state.folder"
}

case "$action" in
  start)
    stop
    folder=$(mktemp -d /tmp/tydb-postgres-XXXXXX)
    chmod 755 "$folder"
    if [ "$(id -u)" -eq 0 ]; then chown postgres "$folder"; fi
    echo "$folder" >"$state.folder"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    as_server_user "$bindir/initdb" -D "$folder/data" -U tydb --auth=trust -E UTF8 --locale=C >"$folder/initdb.log" 2>&1 ||
      { cat "$folder/initdb.log" >&2; exit 1; }
    # The tests never survive a crash of the server itself, so its own flushes are skipped.
    as_server_user "$bindir/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
      -o "-p $port -k $folder -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=200" start >/dev/null ||
      { cat "$folder/server.log" >&2; exit 1; }
    echo "host=127.0.0.1 port=$port user=tydb dbname=postgres" >"$state"
    echo "PostgreSQL for the tests: port $port, folder $folder"
    ;;
  stop)
    stop
    ;;
  restart)
    as_server_user "$bindir/pg_ctl" -D "$folder/data" -m fast -w -t 60 restart >/dev/null
    ;;
  *)
    echo "usage: $0 start|stop|restart FOLDER" >&2
    exit 2
    ;;
esac
