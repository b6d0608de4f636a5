#!/usr/bin/env bash
# Makes the AppStream screenshots in packaging/screenshots from the built app: the phone screen and
# the tablet screen, over the committed dim street sample so every run shows the same scene.
# Run after `make build`; commit the PNGs it writes.
set -euo pipefail
cd "$(dirname "$0")/.."
app=${LUMIVUE:-build/bin/lumivue}
out=packaging/screenshots
mkdir -p "$out"
feed="image:$(pwd)/assets/samples/dim-street.png"
common=(--headless --no-analytics --camera "$feed" --duration 2 --data-dir "$(mktemp -d)")
"$app" "${common[@]}" --idiom phone --scale 2 --screenshot "$out/phone.png"
"$app" "${common[@]}" --idiom tablet --scale 1 --screenshot "$out/tablet.png"
echo "make-screenshots: wrote $out/phone.png and $out/tablet.png"
