#!/usr/bin/env bash
# Records one video through the app as a user would and says what it cost: lumivue runs headless
# with the synthetic camera at 1280 × 720 (the High preset), night mode on and no analytics; the
# script measures the app's CPU over 10 s without recording, then starts a recording, keeps it
# going for SECONDS (default 60), stops it and prints the app's CPU over the recording (share of
# one core), the frames recorded against the 30 a second asked for, the frames the encoder
# dropped, and the file's size per minute.
#   scripts/measure-recording.sh [--seconds S] [--day] [LUMIVUE]
# --day records with night mode off.
set -euo pipefail

seconds=60
night=1
app=build/bin/lumivue
while [[ $# -gt 0 ]]; do
    case "$1" in
        -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        --seconds) seconds="$2"; shift 2 ;;
        --day) night=0; shift ;;
        *) app="$1"; shift ;;
    esac
done
[[ -x "$app" ]] || { echo "measure-recording: $app is not a built lumivue (make build)" >&2; exit 2; }

python3 - "$app" "$seconds" "$night" <<'PY'
import os, re, select, subprocess, sys, tempfile, time

app, seconds, night = sys.argv[1], float(sys.argv[2]), sys.argv[3] == "1"
ticks = os.sysconf("SC_CLK_TCK")

def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks  # utime + stime

album = tempfile.mkdtemp(prefix="lumivue-recording-")
args = [app, "--headless", "--no-analytics", "--no-audio", "--camera", "synthetic", "--album", album,
        "--control", "-"] + (["--denoise"] if night else [])
proc = subprocess.Popen(args, stdin=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
log = ""

def wait_for(text, limit=60):
    global log
    end = time.time() + limit
    while text not in log:
        if time.time() > end or proc.poll() is not None:
            sys.exit(f"measure-recording: no '{text}' from the app:\n{log}")
        if select.select([proc.stderr], [], [], 0.5)[0]:
            log += os.read(proc.stderr.fileno(), 65536).decode(errors="replace")

def say(line):
    proc.stdin.write(line + "\n")
    proc.stdin.flush()

say("choose bPreset 2\ntap captureModeButton")
wait_for("Capture mode: video")
time.sleep(2)
idle_cpu, idle_start = cpu_seconds(proc.pid), time.time()
time.sleep(10)
idle = (cpu_seconds(proc.pid) - idle_cpu) / (time.time() - idle_start)
say("tap takePictureButton")
wait_for("Recording started")
start_cpu, start = cpu_seconds(proc.pid), time.time()
time.sleep(seconds)
say("tap takePictureButton")
wait_for("Recording saved")
cpu, wall = cpu_seconds(proc.pid) - start_cpu, time.time() - start
wait_for("Video saved")
say("quit")
proc.wait(60)
m = re.search(r"Recording saved: (\d+) frames \((\d+) dropped\), (\d+) ms, (\d+) bytes", log)
frames, dropped, ms, size = (int(x) for x in m.groups())
size_line = re.search(r"Recording (\d+x\d+) at", log)
print(f"{'night' if night else 'day'} mode, {size_line.group(1) if size_line else '?'}, {ms / 1000:.1f} s recorded")
print(f"app CPU while recording: {100 * cpu / wall:.0f} % of one core (not recording: {100 * idle:.0f} %)")
print(f"frames recorded: {frames} of {round(ms / 1000 * 30)} at 30 a second; dropped by the encoder's queue: {dropped}")
print(f"file: {size / 1e6:.1f} MB, {size / 1e6 * 60000 / ms:.1f} MB a minute")
PY
