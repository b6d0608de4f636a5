#!/usr/bin/env bash
# Starts the app: in a window where a display exists, else headless with a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/lumivue "$@"
fi
build/bin/lumivue --headless --duration 5 --screenshot lumivue-screen.png "$@"
echo "No display: ran headless for 5 s; the screen is in $(pwd)/lumivue-screen.png"
