#!/usr/bin/env bash
# Starts the app N times (default 20) against live virtual PipeWire cameras and counts, for each
# start: a clean exit, the picture on screen, and a photo saved by a shutter tap made at once.
# `--busy` keeps both cores busy meanwhile, as a phone's are. Run it inside a PipeWire:
#   scripts/with-pipewire.sh scripts/camera-soak.sh [--busy] [N]
set -uo pipefail
cd "$(dirname "$0")/.."

busy=0
if [ "${1:-}" = "--busy" ]; then busy=1; shift; fi
runs=${1:-20}
app=build/bin/lumivue
work=$(mktemp -d "${TMPDIR:-/tmp}/lumivue-soak.XXXXXX")
loads=()
cleanup() {
  for pid in "${loads[@]}"; do kill "$pid" 2>/dev/null; done
  [ -n "${camera:-}" ] && kill "$camera" 2>/dev/null
  [ -n "${KEEP:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

# A virtual camera of its own for each start: a pipewiresink provider stops serving for good once
# a consumer has left without ending the stream (PipeWire 0.3.65), as every app does.
start_camera() {
  gst-launch-1.0 -q videotestsrc pattern=smpte is-live=true \
    ! video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1 \
    ! pipewiresink mode=provide stream-properties="p,media.class=Video/Source,media.role=Camera,node.description=Soak" \
    >>"$work/camera.log" 2>&1 &
  camera=$!
  for _ in $(seq 50); do "$app" --list-cameras 2>/dev/null | grep -q '^Soak$' && return; sleep 0.2; done
}
stop_camera() {
  kill "$camera" 2>/dev/null
  wait "$camera" 2>/dev/null
  camera=
}

if [ "$busy" -eq 1 ]; then
  for _ in 1 2; do (while :; do :; done) & loads+=($!); done
fi

# Brightest of an 8x8 grey thumbnail of the preview between the option buttons and the scope
# (a 100-pixel square at 300,100 of the 640x960 screenshot): a black preview stays near 0.
brightness() {
  gst-launch-1.0 -q filesrc location="$1" ! pngdec ! videocrop left=300 top=100 right=240 bottom=760 \
    ! videoconvert ! videoscale \
    ! video/x-raw,format=GRAY8,width=8,height=8 ! filesink location="$work/grey" >/dev/null 2>&1
  od -An -tu1 -v "$work/grey" | tr -s ' ' '\n' | sort -n | tail -1
}

clean=0 shown=0 saved=0
for i in $(seq "$runs"); do
  start_camera
  album="$work/album$i"
  printf 'tap takePictureButton\nwait 1.5\nscreenshot %s\nquit\n' "$work/shot$i.png" \
    | timeout 60 "$app" --headless --no-analytics --camera pipewire:Soak --album "$album" --control - \
      >"$work/run$i.log" 2>&1
  code=$?
  stop_camera
  [ "$code" -eq 0 ] && clean=$((clean + 1))
  level=$( [ -f "$work/shot$i.png" ] && brightness "$work/shot$i.png" || echo 0)
  [ "${level:-0}" -gt 40 ] && shown=$((shown + 1))
  photos=$(ls "$album"/*.JPG 2>/dev/null | wc -l)
  [ "$photos" -ge 1 ] && saved=$((saved + 1))
  echo "start $i: exit $code, brightest $level, photos $photos"
done
echo "of $runs starts$([ "$busy" -eq 1 ] && echo ' (both cores busy)'): $clean clean exits, $shown showed the picture, $saved saved the photo"
[ "$clean" -eq "$runs" ] && [ "$shown" -eq "$runs" ] && [ "$saved" -eq "$runs" ]
