#!/usr/bin/env bash
# Measures the CPU the camera screen costs in a real window: each given lumivue binary runs in
# turn on a private X server (Xvfb) at the phone size with the synthetic camera and no analytics;
# the script takes the time from launch to the first camera picture measured for the scope (the
# log line "Preview Scale"), then samples the process's CPU time over SECONDS in the foreground
# and over SECONDS in the background, and prints both as a share of one core. Binaries are run alternately ROUNDS
# times so that a busy moment of the machine falls on all of them.
#   scripts/measure-screen-cpu.sh [--seconds S] [--rounds N] [--env NAME=VALUE] BINARY...
# --env sets a variable for the runs of the binary after it (e.g. QT_QUICK_BACKEND=software).
set -euo pipefail

seconds=10
rounds=2
declare -a runs=()
pending_env=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        --seconds) seconds="$2"; shift 2 ;;
        --rounds) rounds="$2"; shift 2 ;;
        --env) pending_env="$2"; shift 2 ;;
        *) runs+=("$1|$pending_env"); pending_env=""; shift ;;
    esac
done
if [[ ${#runs[@]} -eq 0 ]]; then
    echo "measure-screen-cpu: name at least one lumivue binary (--help)" >&2
    exit 2
fi
command -v Xvfb >/dev/null || { echo "measure-screen-cpu: Xvfb is not installed (apt-get install xvfb)" >&2; exit 1; }

python3 - "$seconds" "$rounds" "${runs[@]}" <<'PY'
import os, select, subprocess, sys, tempfile, time

seconds, rounds, runs = float(sys.argv[1]), int(sys.argv[2]), sys.argv[3:]
ticks = os.sysconf("SC_CLK_TCK")

def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks  # utime + stime

def measure(binary, extra_env, display):
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, DISPLAY=display, XDG_DATA_HOME=tmp, XDG_CONFIG_HOME=tmp,
                   XDG_CACHE_HOME=tmp, XDG_RUNTIME_DIR=tmp)
        env.pop("QT_QPA_PLATFORM", None)
        if extra_env:
            name, value = extra_env.split("=", 1)
            env[name] = value
        launched = time.monotonic()
        app = subprocess.Popen([binary, "--camera", "synthetic", "--no-analytics", "--album",
                                os.path.join(tmp, "album"), "--control", "-"],
                               stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               env=env, text=True)
        first = float("nan")
        try:
            while time.monotonic() - launched < 10:
                ready, _, _ = select.select([app.stderr], [], [], 0.5)
                line = app.stderr.readline() if ready else ""
                if "Preview Scale" in line:
                    first = 1000 * (time.monotonic() - launched)
                    break
            # The rest of the log is not read: it goes nowhere rather than filling the pipe.
            subprocess.Popen(["cat"], stdin=app.stderr, stdout=subprocess.DEVNULL)
            time.sleep(3)  # started, the camera running
            t0, c0 = time.monotonic(), cpu_seconds(app.pid)
            time.sleep(seconds)
            t1, c1 = time.monotonic(), cpu_seconds(app.pid)
            app.stdin.write("background\n"); app.stdin.flush()
            time.sleep(2)  # the camera has stopped
            t2, c2 = time.monotonic(), cpu_seconds(app.pid)
            time.sleep(seconds)
            t3, c3 = time.monotonic(), cpu_seconds(app.pid)
            app.stdin.write("quit\n"); app.stdin.close()
            app.wait(timeout=20)
        finally:
            if app.poll() is None:
                app.kill()
        return 100 * (c1 - c0) / (t1 - t0), 100 * (c3 - c2) / (t3 - t2), first

xvfb = subprocess.Popen(["Xvfb", ":97", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    time.sleep(1)
    results = {run: [] for run in runs}
    for _ in range(rounds):
        for run in runs:
            binary, extra_env = run.split("|", 1)
            results[run].append(measure(binary, extra_env, ":97"))
    with open("/proc/loadavg") as f:
        load = f.read().split()[0]
    print(f"window 320x480 points at scale 2, synthetic camera, {seconds:.0f} s each, {rounds} rounds, load {load}")
    print(f"{'binary (medians)':60} {'first picture':>14} {'foreground':>11} {'background':>11}")
    for run, values in results.items():
        binary, extra_env = run.split("|", 1)
        median = lambda i: sorted(v[i] for v in values)[len(values) // 2]
        label = binary + (f" ({extra_env})" if extra_env else "")
        print(f"{label:60} {median(2):11.0f} ms {median(0):10.1f}% {median(1):10.1f}%")
finally:
    xvfb.terminate()
PY
