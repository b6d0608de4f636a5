#!/usr/bin/env bash
# `make fuzz`: builds the libFuzzer harnesses (preset fuzz, build-fuzz/), writes their seed
# corpora and runs each harness for a bounded time, printing one summary line per harness and
# appending it to build-fuzz/fuzz-history.log.
#
#   FUZZ_SECONDS=60    seconds per harness
#   FUZZ_TARGETS="…"   which harnesses (default: all)
#   FUZZ_JOBS=1        harnesses run side by side (at most 2 on a small shared machine)
#
# Each harness keeps its growing corpus in build-fuzz/fuzz-corpus/<harness>/ between runs; a
# crashing, leaking or hanging input lands in build-fuzz/fuzz-findings/<harness>/ and the script
# exits 1. Kept regression inputs (fuzz/regressions/<harness>/) are part of each run's corpus.
# The harnesses run under nice -n 19.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH=${FUZZ_SECONDS:-60}
JOBS=${FUZZ_JOBS:-1}
TARGETS=${FUZZ_TARGETS:-"report_decoder archive_decoder jpeg_metadata http_answer http_wire http_parts image_file_check script_line collector_ingest"}
BUILD=build-fuzz

# The largest input each harness is given: a little above its largest real seed.
max_len() {
  case "$1" in
    report_decoder | archive_decoder | collector_ingest) echo 16384 ;;
    jpeg_metadata | image_file_check) echo 32768 ;;
    script_line) echo 1024 ;;
    *) echo 4096 ;;
  esac
}

# clang and its libFuzzer runtime are needed here only, so they are installed here, not by
# install-deps.sh.
for pkg in clang-14 libclang-rt-14-dev; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    echo "run-fuzz: installing $pkg"
    SUDO=$([ "$(id -u)" -eq 0 ] || echo sudo)
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$pkg" >/dev/null
  fi
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
QT_QPA_PLATFORM=offscreen "$BUILD/bin/lumivue-fuzz-seeds" "$BUILD/fuzz-seeds" >/dev/null
mkdir -p "$BUILD/fuzz-logs"

run_one() {
  local target=$1
  local binary="$BUILD/bin/fuzz_$target"
  local corpus="$BUILD/fuzz-corpus/$target" findings="$BUILD/fuzz-findings/$target"
  local log="$BUILD/fuzz-logs/$target.log"
  if [ ! -x "$binary" ]; then
    echo "fuzz: $target: no such harness" >&2
    return 1
  fi
  rm -rf "$findings" # each run reports its own findings; the corpus grows from run to run
  mkdir -p "$corpus" "$findings"
  local inputs=("$corpus" "$BUILD/fuzz-seeds/$target")
  [ -d "fuzz/regressions/$target" ] && inputs+=("fuzz/regressions/$target")
  local status=0 started
  started=$(date +%s)
  # Leak checking is off: Qt's process-wide caches (locale, time zones, plugins) allocate once
  # on first use and would be reported as leaks of whichever input came first.
  QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    nice -n 19 "$binary" -max_total_time="$SECONDS_EACH" -rss_limit_mb=1024 -max_len="$(max_len "$target")" \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/" "${inputs[@]}" >"$log" 2>&1 || status=$?
  local runs found seconds
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  if [ -z "$seconds" ]; then # stopped by a finding: libFuzzer prints no total
    seconds=$(( $(date +%s) - started ))
  fi
  found=$(find "$findings" -type f | wc -l)
  local line
  line=$(printf 'fuzz: %-16s %5ss %10s runs  corpus %5s  findings %s' "$target" "$seconds" "${runs:-?}" \
    "$(find "$corpus" -type f | wc -l)" "$found")
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    line="$line  FAILED (see $log, $findings/)"
  fi
  echo "$line"
  echo "$(date -u +%FT%TZ) $line" >>"$BUILD/fuzz-history.log"
  [ "$status" -eq 0 ] && [ "$found" -eq 0 ]
}

failed=0
running=0
for target in $TARGETS; do
  run_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$JOBS" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit $failed
