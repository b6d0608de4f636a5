#!/usr/bin/env bash
# Renders the camera screen over a still picture in a fixed set of orientations and control
# states, and compares each screenshot pixel for pixel with a baseline folder.
#
#   scripts/compare-screens.sh --record DIR   write the set into DIR (the baseline)
#   scripts/compare-screens.sh DIR            render the set again and compare it with DIR
#
# The feed is a still image, so every frame is the same and the auto level settles on one value;
# each script waits long enough for the level, the camera's adjustment marks (0.6 s) and the turn
# animations (0.5 s) to come to rest before its screenshot. LUMIVUE selects the binary
# (default build/bin/lumivue). Exit status 0 when every screenshot matches.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${LUMIVUE:-$root/build/bin/lumivue}
record=0
if [[ ${1:-} == --record ]]; then
    record=1
    shift
fi
[[ $# -eq 1 ]] || { echo "usage: $0 [--record] DIR" >&2; exit 2; }
baseline=$1
[[ -x $bin ]] || { echo "no program at $bin (make build)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/shots
mkdir -p "$out"
if [[ $record -eq 1 ]]; then
    mkdir -p "$baseline"
    out=$(cd "$baseline" && pwd)
fi

settle='wait 2.5'
# name | idiom | control lines separated by ';'
scenarios=(
    "portrait|phone|$settle"
    "orientation-1|phone|orientation 1;$settle"
    "orientation-2|phone|orientation 2;$settle"
    "orientation-3|phone|orientation 3;$settle"
    "orientation-4|phone|orientation 4;$settle"
    "orientation-5|phone|orientation 5;$settle"
    "orientation-6|phone|orientation 6;$settle"
    "grid-off|phone|tap NVButton;$settle"
    "grid-on-again|phone|tap NVButton;wait 0.3;tap NVButton;$settle"
    "grid-off-landscape|phone|orientation 3;tap NVButton;$settle"
    "torch|phone|tap torchButton;$settle"
    "torch-twice|phone|tap torchButton;wait 0.3;tap torchButton;$settle"
    "enlight-manual|phone|choose bEnlight 1;$settle"
    "enlight-off|phone|choose bEnlight 2;$settle"
    "enlight-auto-again|phone|choose bEnlight 2;wait 0.3;choose bEnlight 0;$settle"
    "color-green|phone|choose bColorSpace 1;$settle"
    "color-bw|phone|choose bColorSpace 2;$settle"
    "color-rgb-again|phone|choose bColorSpace 2;wait 0.3;choose bColorSpace 0;$settle"
    "level-slider|phone|choose bEnlight 1;wait 0.3;slide sliderNVLevel 40;$settle"
    "level-slider-landscape|phone|orientation 4;choose bEnlight 1;wait 0.3;slide sliderNVLevel 20;$settle"
    "zoom|phone|slide sliderZoom 0.5;$settle"
    "zoom-full|phone|slide sliderZoom 0.8;$settle"
    "preset-low|phone|choose bPreset 0;$settle"
    "preset-high|phone|choose bPreset 2;$settle"
    "front-camera|phone|tap cameraButton;$settle"
    "front-camera-landscape|phone|tap cameraButton;orientation 3;$settle"
    "back-camera-again|phone|tap cameraButton;wait 0.5;tap cameraButton;$settle"
    "photo-thumbnail|phone|tap takePictureButton;wait 2.5"
    "photo-thumbnail-landscape|phone|orientation 3;wait 0.6;tap takePictureButton;wait 2.5"
    "viewer-open|phone|tap takePictureButton;wait 2.5;tap captureButton;wait 1.5"
    "viewer-closed|phone|tap takePictureButton;wait 2.5;tap captureButton;wait 1.5;tap viewImageDoneButton;wait 1.5"
    "night|phone|tap denoiseButton;$settle"
    "night-front-landscape|phone|tap denoiseButton;tap cameraButton;orientation 3;$settle"
    "tablet|tablet|$settle"
    "tablet-landscape|tablet|orientation 4;$settle"
    "tablet-manual-green|tablet|choose bEnlight 1;choose bColorSpace 1;wait 0.3;slide sliderNVLevel 60;$settle"
)

for entry in "${scenarios[@]}"; do
    IFS='|' read -r name idiom lines <<<"$entry"
    album=$work/album-$name
    data=$work/data-$name
    mkdir -p "$album" "$data"
    {
        tr ';' '\n' <<<"$lines"
        echo "screenshot $out/$name.png"
        echo quit
    } >"$work/$name.control"
    QT_QPA_PLATFORM=offscreen "$bin" --headless --no-analytics --idiom "$idiom" --scale 2 \
        --camera "image:$root/assets/samples/dim-street.png" --location 52.52,13.40,25 \
        --album "$album" --data-dir "$data" --control "$work/$name.control" \
        >"$work/$name.log" 2>&1 || { echo "$name: lumivue failed"; cat "$work/$name.log"; exit 1; }
    [[ -f $out/$name.png ]] || { echo "$name: no screenshot"; cat "$work/$name.log"; exit 1; }
done

if [[ $record -eq 1 ]]; then
    echo "recorded ${#scenarios[@]} screenshots in $baseline"
    exit 0
fi

LUMIVUE_SCRIPTS="$root/scripts" python3 - "$baseline" "$out" "${scenarios[@]%%|*}" <<'PY'
import os, sys
sys.path.insert(0, os.environ['LUMIVUE_SCRIPTS'])
from png_pixels import pixels

baseline, fresh, names = sys.argv[1], sys.argv[2], sys.argv[3:]
failed = 0
for name in names:
    try:
        same = open(f'{baseline}/{name}.png', 'rb').read() == open(f'{fresh}/{name}.png', 'rb').read()
    except FileNotFoundError:
        print(f'{name}: not in the baseline')
        failed += 1
        continue
    if same:
        print(f'{name}: identical')
        continue
    want, got = pixels(f'{baseline}/{name}.png'), pixels(f'{fresh}/{name}.png')
    if want[:3] != got[:3]:
        print(f'{name}: size or format differs: {want[:3]} vs {got[:3]}')
        failed += 1
        continue
    width, channels = want[0], want[2]
    diff = [(x // channels, y) for y, (a, b) in enumerate(zip(want[3], got[3])) if a != b
            for x in range(0, len(a), channels) if a[x:x + channels] != b[x:x + channels]]
    if diff:
        xs, ys = [p[0] for p in diff], [p[1] for p in diff]
        print(f'{name}: {len(diff)} pixels differ, within x {min(xs)}..{max(xs)}, y {min(ys)}..{max(ys)}')
        failed += 1
    else:
        print(f'{name}: identical')
print(f'{len(names) - failed} of {len(names)} screenshots identical')
sys.exit(1 if failed else 0)
PY
