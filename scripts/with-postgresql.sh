#!/usr/bin/env bash
# Runs a command beside a private PostgreSQL server: Debian's postgresql (initdb, pg_ctl) in a new
# temporary data folder, on a free port of 127.0.0.1 with trust authentication, with one database
# made for the command, all stopped and removed again when the command ends. The command sees
#   LUMIVUE_TEST_POSTGRES=postgresql://lumivue@127.0.0.1:PORT/lumivue
# (the collector's tests run on PostgreSQL through it) and its exit status is returned. Run as root
# (as CI does), the server runs as the postgres user, which PostgreSQL requires.
#
#   scripts/with-postgresql.sh ctest --preset release
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARG...]" >&2
  exit 2
fi

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "with-postgresql: PostgreSQL is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

cluster=$(mktemp -d "${TMPDIR:-/tmp}/lumivue-postgresql.XXXXXX")
chmod 700 "$cluster"
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  chown postgres: "$cluster"
  as_owner=(runuser -u postgres --)
fi

stop_server() {
  "${as_owner[@]}" "$bindir/pg_ctl" -D "$cluster/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$cluster"
}
trap stop_server EXIT
trap 'exit 130' INT TERM

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"${as_owner[@]}" "$bindir/initdb" -D "$cluster/data" -U lumivue -A trust -E UTF8 --locale=C --no-sync \
  >"$cluster/initdb.log" 2>&1 || { cat "$cluster/initdb.log" >&2; exit 1; }
# No fsync: the cluster is thrown away afterwards; the socket folder is the cluster's own.
if ! "${as_owner[@]}" "$bindir/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w -t 60 \
  -o "-p $port -k $cluster -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=200" start >/dev/null; then
  cat "$cluster/server.log" >&2
  exit 1
fi
"${as_owner[@]}" "$bindir/createdb" -h 127.0.0.1 -p "$port" -U lumivue lumivue
export LUMIVUE_TEST_POSTGRES="postgresql://lumivue@127.0.0.1:$port/lumivue"
echo "with-postgresql: PostgreSQL $("$bindir/postgres" --version | awk '{print $3}') at $LUMIVUE_TEST_POSTGRES" >&2

status=0
"$@" || status=$?
exit $status
