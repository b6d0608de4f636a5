#!/usr/bin/env bash
# Runs a command inside a private PipeWire: a session D-Bus, pipewire and wireplumber in a new
# temporary runtime folder (PIPEWIRE_RUNTIME_DIR for the command), without systemd or rtkit, all
# stopped again when the command ends.
# The command's exit status is returned. When the daemons cannot start (packages missing, no
# permission), the command still runs, with LUMIVUE_PIPEWIRE_UNAVAILABLE set to the reason, so the
# tests that need a camera node can say why they skip.
#
#   scripts/with-pipewire.sh ctest --preset release
set -uo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARG...]" >&2
  exit 2
fi

runtime=$(mktemp -d "${TMPDIR:-/tmp}/lumivue-pipewire.XXXXXX")
chmod 700 "$runtime"
pids=()

stop_daemons() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$runtime"
}
trap stop_daemons EXIT
trap 'exit 130' INT TERM

unavailable() {
  export LUMIVUE_PIPEWIRE_UNAVAILABLE="$1"
  echo "with-pipewire: $1; tests that need a PipeWire camera will be skipped" >&2
}

start_daemons() {
  local missing=()
  for tool in dbus-daemon pipewire wireplumber pw-cli; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    unavailable "not installed: ${missing[*]} (scripts/install-deps.sh installs them)"
    return
  fi

  # The daemons get the folder as their XDG_RUNTIME_DIR; the command only PIPEWIRE_RUNTIME_DIR,
  # which PipeWire's clients read first: the rest of the command's world stays as it was (a Qt
  # program that sees an XDG_RUNTIME_DIR behaves differently, and LeakSanitizer dies on it).
  export PIPEWIRE_RUNTIME_DIR="$runtime" DISABLE_RTKIT=y
  local bus="unix:path=$runtime/bus"
  dbus-daemon --session --nofork --nopidfile --address="$bus" >"$runtime/dbus.log" 2>&1 &
  pids+=($!)
  XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="$bus" pipewire >"$runtime/pipewire.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    [ -S "$runtime/pipewire-0" ] && [ -S "$runtime/bus" ] && break
    sleep 0.1
  done
  XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="$bus" wireplumber >"$runtime/wireplumber.log" 2>&1 &
  pids+=($!)
  # WirePlumber is ready once it has registered itself as a client of the daemon.
  for _ in $(seq 100); do
    if pw-cli ls Client 2>/dev/null | grep -qi wireplumber; then
      export LUMIVUE_PIPEWIRE_LOGS="$runtime"
      echo "with-pipewire: private PipeWire running in $runtime" >&2
      return
    fi
    sleep 0.1
  done
  unavailable "PipeWire did not start: $(tail -n 3 "$runtime"/*.log | tr '\n' ' ')"
}

start_daemons
"$@"
