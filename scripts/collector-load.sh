#!/usr/bin/env bash
# Load and faults on lumivue-collector, with build/bin/collector-load as the clients, one table row
# per case:
#   sqlite      N reports from C clients at once into SQLite
#   postgresql  the same into PostgreSQL (a private server through scripts/with-postgresql.sh)
#   kill        SQLite, the collector killed (SIGKILL) during the load and started again; the
#               clients send again what was not answered 200, as the app does
#   disk-full   SQLite on a 3 MiB tmpfs (or, where mounting is not allowed, under a 3 MiB file-size
#               limit): no retries, 503s once it is full, and exactly what was answered 200 stored
# A case fails when anything answered 200 is missing or stored twice; the status is 1 then.
#
#   scripts/collector-load.sh [--reports N] [--clients C] [CASE...]     (default 10000, 200, all)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
reports=10000
clients=200
cases=()
while [ $# -gt 0 ]; do
  case "$1" in
    --reports) reports=$2; shift 2 ;;
    --clients) clients=$2; shift 2 ;;
    sqlite|postgresql|kill|disk-full) cases+=("$1"); shift ;;
    *) echo "usage: $0 [--reports N] [--clients C] [sqlite|postgresql|kill|disk-full]..." >&2; exit 2 ;;
  esac
done
[ ${#cases[@]} -gt 0 ] || cases=(sqlite postgresql kill disk-full)
for program in lumivue-collector collector-load; do
  [ -x "$bin/$program" ] || { echo "$bin/$program is not built (cmake --build build --target $program)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/collector-load.XXXXXX")
collector=
cleanup() {
  [ -n "$collector" ] && kill -9 "$collector" 2>/dev/null
  mountpoint -q "$work/small" 2>/dev/null && umount "$work/small"
  rm -rf "$work"
}
trap cleanup EXIT

# start DATABASE [HOST:PORT] [ulimit -f blocks]: the collector in the background; sets $collector, $url.
start() {
  local log="$work/collector.log"
  : >"$log"
  ( [ -n "${3:-}" ] && ulimit -f "$3"; exec "$bin/lumivue-collector" --listen "${2:-127.0.0.1:0}" --db "$1" 2>>"$log" ) &
  collector=$!
  for _ in $(seq 300); do
    url=$(grep -o 'http://127.0.0.1:[0-9]*' "$log" | tail -n 1 || true)
    [ -n "$url" ] && return 0
    kill -0 "$collector" 2>/dev/null || break
    sleep 0.1
  done
  echo "the collector did not start:" >&2; cat "$log" >&2; exit 1
}
stop() {
  kill -TERM "$collector"; wait "$collector" || true; collector=
}

status=0
row() { "$bin/collector-load" --url "$url" --reports "$reports" --clients "$clients" "$@" || status=1; }

printf '%-26s %7s %7s %8s %7s %6s %6s %5s %5s %6s %9s %8s %8s\n' case reports clients "200" re-sent 503s no-ans lost dupl stored+ \
  "reports/s" "p50 ms" "p99 ms"
for case in "${cases[@]}"; do
  case "$case" in
    sqlite)
      start "sqlite:$work/sqlite/collector.sqlite"
      row --db "sqlite:$work/sqlite/collector.sqlite" --label "SQLite"
      stop ;;
    postgresql)
      if [ -z "${LUMIVUE_TEST_POSTGRES:-}" ]; then
        if [ -x scripts/with-postgresql.sh ]; then
          scripts/with-postgresql.sh "$0" --reports "$reports" --clients "$clients" postgresql | tail -n +2 || status=1
        else
          echo "postgresql: skipped, scripts/with-postgresql.sh is missing" >&2
        fi
        continue
      fi
      start "$LUMIVUE_TEST_POSTGRES"
      row --db "$LUMIVUE_TEST_POSTGRES" --label "PostgreSQL"
      stop ;;
    kill)
      db="sqlite:$work/kill/collector.sqlite"
      start "$db"
      address=${url#http://}
      "$bin/collector-load" --url "$url" --reports "$reports" --clients "$clients" --db "$db" \
        --label "SQLite, kill -9, restart" &
      load=$!
      sleep 3
      kill -9 "$collector"; wait "$collector" 2>/dev/null || true
      sleep 1
      start "$db" "$address"
      wait "$load" || status=1
      stop ;;
    disk-full)
      mkdir -p "$work/small"
      limit=
      if ! mount -t tmpfs -o size=3m tmpfs "$work/small" 2>/dev/null; then
        limit=3072 # KiB
        echo "disk-full: cannot mount a tmpfs here; a 3 MiB file-size limit (ulimit -f) instead" >&2
      fi
      start "sqlite:$work/small/collector.sqlite" "" "$limit"
      "$bin/collector-load" --url "$url" --reports "$reports" --clients "$clients" --retry-for 0 \
        --db "sqlite:$work/small/collector.sqlite" \
        --label "SQLite, disk full" | tee "$work/full.txt" || status=1
      if [ "$(awk '{ print $(NF-7) }' "$work/full.txt")" = 0 ]; then
        echo "disk-full: no 503 seen; the disk did not fill" >&2
        status=1
      fi
      stop ;;
  esac
done
exit $status
