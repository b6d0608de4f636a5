#!/usr/bin/env bash
# Measures the CPU time of the headless app showing the live synthetic preview:
#   scripts/measure-cpu.sh [BUILD_DIR] [SECONDS]
# Prints user + system CPU seconds of the lumivue process (and its threads) and that time as a
# share of one core over the run's wall time. The app runs without analytics so no upload work
# is counted.
set -euo pipefail
build="${1:-build}"
seconds="${2:-10}"
program="$build/bin/lumivue"
if [[ ! -x "$program" ]]; then
    echo "measure-cpu: $program not found; build the lumivue target first" >&2
    exit 1
fi
python3 - "$program" "$seconds" <<'PY'
import os, resource, subprocess, sys, tempfile, time
program, seconds = sys.argv[1], sys.argv[2]
with tempfile.TemporaryDirectory() as tmp:
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_DATA_HOME=tmp, XDG_CONFIG_HOME=tmp, XDG_CACHE_HOME=tmp)
    start = time.monotonic()
    result = subprocess.run([program, "--headless", "--camera", "synthetic", "--no-analytics",
                             "--album", os.path.join(tmp, "album"), "--duration", seconds,
                             "--screenshot", os.path.join(tmp, "s.png")],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = usage.ru_utime + usage.ru_stime
if result.returncode != 0:
    print(f"measure-cpu: lumivue exited with {result.returncode}", file=sys.stderr)
    sys.exit(1)
print(f"lumivue --headless --duration {seconds}: {cpu:.2f} s CPU (user {usage.ru_utime:.2f}, "
      f"system {usage.ru_stime:.2f}) in {wall:.2f} s = {100 * cpu / wall:.1f}% of one core")
PY
