#!/usr/bin/env bash
# Shoots every screen state of tests/screens/states with a built lumivue and compares each
# screenshot with the recorded baseline (tests/screens/baseline), or records that baseline.
# docs/screens.md says how the verdict is made.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
states=$root/tests/screens/states
baseline=$root/tests/screens/baseline

usage() {
    cat <<EOF
usage: scripts/compare-screens.sh [--record] [--size WxH] [--baseline DIR] LUMIVUE_BINARY OUT_DIR

Runs each control script in tests/screens/states headless (scale 1, the still picture
tests/screens/scene.png as the camera, analytics off) and writes NAME.png and NAME.log per
state into OUT_DIR. Then compares each screenshot with the baseline's NAME.png using
screen-diff (beside LUMIVUE_BINARY, or \$SCREEN_DIFF), writes NAME.diff.png (differing cells
outlined: red layout, amber rendering) and prints a table. Exits 1 when a state's layout differs,
a state was not captured or its script failed; 0 when all keep their layout.

  --record     copy the screenshots into the baseline instead of comparing
  --baseline DIR  the baseline to compare with or record into (default tests/screens/baseline;
               tests/screens/baseline-toolkit holds the screen as the view toolkit drew it,
               before the move to Qt Quick)
  --size WxH   passed on to lumivue (window size in points); screenshots only, no comparison
  -h, --help   this text
EOF
}

record=0
size=
while [[ $# -gt 0 ]]; do
    case $1 in
        --record) record=1; shift ;;
        --size) [[ $# -ge 2 ]] || { usage >&2; exit 2; }; size=$2; shift 2 ;;
        --size=*) size=${1#--size=}; shift ;;
        --baseline) [[ $# -ge 2 ]] || { usage >&2; exit 2; }; baseline=$(realpath -m "$2"); shift 2 ;;
        -h | --help) usage; exit 0 ;;
        -*) echo "compare-screens: unknown option $1" >&2; usage >&2; exit 2 ;;
        *) break ;;
    esac
done
[[ $# -eq 2 ]] || { usage >&2; exit 2; }
[[ -z $size || $record -eq 0 ]] || { echo "compare-screens: the baseline is recorded at the default sizes only" >&2; exit 2; }
bin=$(realpath "$1")
[[ -x $bin ]] || { echo "compare-screens: no program at $1" >&2; exit 2; }
mkdir -p "$2"
out=$(cd "$2" && pwd)
compare=$(( record == 0 && ${#size} == 0 ))
diff_tool=${SCREEN_DIFF:-$(dirname "$bin")/screen-diff}
if [[ $compare -eq 1 && ! -x $diff_tool ]]; then
    echo "compare-screens: no screen-diff at $diff_tool (cmake --build build --target screen-diff, or set SCREEN_DIFF)" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
rows=()
for script in "$states"/*.control; do
    name=$(basename "$script" .control)
    # A state's own flags: a line '# flags: ...' (words, no quoting).
    read -r -a flags <<<"$(sed -n 's/^# flags://p' "$script")"
    [[ " ${flags[*]} " == *" --album "* ]] || flags+=(--album "$work/$name/album")
    [[ -z $size ]] || flags+=(--size "$size")
    mkdir -p "$work/$name/album" "$work/$name/data"
    # $OUT in a script is the output folder.
    sed "s|\$OUT|$out|g" "$script" >"$work/$name/control"
    rm -f "$out/$name.png" "$out/$name.diff.png"
    status=0
    QT_QPA_PLATFORM=offscreen timeout 180 "$bin" --headless --no-analytics --scale 1 \
        --camera "image:$root/tests/screens/scene.png" --data-dir "$work/$name/data" "${flags[@]}" \
        --control "$work/$name/control" >"$out/$name.log" 2>&1 || status=$?
    # The script runner names every line it could not carry out: the state was not reached.
    complaint=$(grep -m1 '^lumivue: line [0-9]*:' "$out/$name.log" || true)
    if [[ ! -f $out/$name.png ]]; then
        rows+=("$name|not captured (exit $status)|-|-")
        failed=1
        continue
    fi
    if [[ -n $complaint ]]; then
        rows+=("$name|script failed: ${complaint#lumivue: }|-|-")
        failed=1
        continue
    fi
    if [[ $record -eq 1 ]]; then
        mkdir -p "$baseline"
        cp "$out/$name.png" "$baseline/$name.png"
        rows+=("$name|recorded|-|-")
    elif [[ $compare -eq 0 ]]; then
        rows+=("$name|shot at $size|-|-")
    elif [[ ! -f $baseline/$name.png ]]; then
        rows+=("$name|no baseline|-|-")
        failed=1
    else
        "$diff_tool" --scale 1 "$baseline/$name.png" "$out/$name.png" "$out/$name.diff.png" \
            >"$out/$name.diff.txt" 2>&1 || true
        read -r _ verdict cells rendering < <(grep '^summary:' "$out/$name.diff.txt" || echo "summary: error - -")
        case $verdict in
            identical) rows+=("$name|identical|0|0") ;;
            rendering) rows+=("$name|same layout|$cells|$rendering") ;;
            layout) rows+=("$name|LAYOUT DIFFERS (see $name.diff.txt)|$cells|$rendering"); failed=1 ;;
            *) rows+=("$name|comparison failed (see $name.diff.txt)|-|-"); failed=1 ;;
        esac
    fi
done

printf '%-24s %-48s %7s %9s\n' state verdict cells rendering
for row in "${rows[@]}"; do
    IFS='|' read -r name verdict cells rendering <<<"$row"
    printf '%-24s %-48s %7s %9s\n' "$name" "$verdict" "$cells" "$rendering"
done
[[ $record -eq 0 ]] || echo "baseline: $(du -ch "$baseline"/*.png | tail -1 | cut -f1) in $baseline"
exit $failed
