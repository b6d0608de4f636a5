#!/usr/bin/env bash
# Starts the app: in a window where a display exists, else headless with a screenshot.
# Until the app itself exists, enhances the bundled dim sample picture instead.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -x build/bin/lumivue ]; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/bin/lumivue "$@"
  fi
  build/bin/lumivue --headless --duration 5 --screenshot lumivue-screen.png "$@"
  echo "No display: ran headless for 5 s; the screen is in $(pwd)/lumivue-screen.png"
else
  out=build/enhanced-sample.png
  build/bin/lumivue-enhance assets/samples/dim-street.png "$out"
  echo "Enhanced picture written to $(pwd)/$out"
fi
