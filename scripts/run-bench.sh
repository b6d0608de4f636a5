#!/usr/bin/env bash
# Runs every benchmark program in build/bin, one after the other, pinned to one core.
set -euo pipefail
# Inside a private PipeWire, for the benchmark that starts the app against a virtual camera; without
# one that benchmark says why it skips.
if [ -z "${LUMIVUE_BENCH_IN_PIPEWIRE:-}" ]; then
  export LUMIVUE_BENCH_IN_PIPEWIRE=1
  here=$(cd "$(dirname "$0")" && pwd)
  exec "$here/with-pipewire.sh" "$here/run-bench.sh" "$@"
fi
cd "$(dirname "$0")/.."
found=0
for program in build/bin/bench_*; do
  [ -x "$program" ] || continue
  found=1
  echo "== $(basename "$program")"
  if command -v taskset >/dev/null; then
    taskset -c 0 "$program" "$@"
  else
    "$program" "$@"
  fi
done
if [ "$found" -eq 0 ]; then
  echo "no benchmark programs were built" >&2
  exit 1
fi
