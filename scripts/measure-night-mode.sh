#!/usr/bin/env bash
# Measures what night mode leaves of the sensor noise in the scope, from the real app's
# screenshots: the dim-street photo as the feed at a fixed manual level, once clean, then with
# --sensor-noise SIGMA with night mode off and on. Prints the standard deviation of each noisy
# scope against the clean one (b, g, r, over a patch of the scope clear of the instruments) and
# the ratio on / off (the goal is at most 0.4).
#
#   scripts/measure-night-mode.sh [SIGMA [SECONDS]]    default 8 levels, 2.5 s of frames
#
# Wall-clock runs: on a loaded machine fewer frames arrive, so keep SECONDS above 2.
# LUMIVUE selects the binary (default build/bin/lumivue).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${LUMIVUE:-$root/build/bin/lumivue}
sigma=${1:-8}
seconds=${2:-2.5}
[[ -x $bin ]] || { echo "no program at $bin (make build)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'choose bEnlight 1\nwait 0.3\nslide sliderNVLevel 16\nwait %s\nscreenshot %s/SHOT.png\nquit\n' \
    "$seconds" "$work" >"$work/script"

shoot() { # name, extra flags...
    local name=$1
    shift
    sed "s/SHOT/$name/" "$work/script" >"$work/$name.control"
    QT_QPA_PLATFORM=offscreen "$bin" --headless --no-analytics --scale 2 \
        --camera "image:$root/assets/samples/dim-street.png" --album "$work/album" --data-dir "$work/data" \
        --control "$work/$name.control" "$@" >"$work/$name.log" 2>&1 \
        || { echo "$name: lumivue failed"; cat "$work/$name.log"; exit 1; }
}
shoot clean
shoot off --sensor-noise "$sigma"
shoot on --sensor-noise "$sigma" --denoise

LUMIVUE_SCRIPTS="$root/scripts" python3 - "$work" <<'PY'
import math, os, sys
sys.path.insert(0, os.environ['LUMIVUE_SCRIPTS'])
from png_pixels import pixels


# The scope's top-left patch on a phone at scale 2 (screen pixels 130-310, 290-390): no gauge,
# number or label is drawn there.
def sigma(name, clean):
    _, _, channels, rows = pixels(f'{sys.argv[1]}/{name}.png')
    diffs = [rows[y][x * channels + c] - clean[y][x * channels + c]
             for y in range(290, 390) for x in range(130, 310) for c in range(3)]
    mean = sum(diffs) / len(diffs)
    return math.sqrt(sum((d - mean) ** 2 for d in diffs) / len(diffs))

_, _, _, clean = pixels(f'{sys.argv[1]}/clean.png')
off, on = sigma('off', clean), sigma('on', clean)
print(f'noise in the scope, night mode off: {off:.2f} levels')
print(f'noise in the scope, night mode on:  {on:.2f} levels')
print(f'on / off: {on / off:.3f} (goal at most 0.4)')
PY
