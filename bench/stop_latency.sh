#!/usr/bin/env bash
# How quickly playback answers: Stop in the window (until the idle face), closing the window
# while it plays, Ctrl-C in `zerbex2-cli play`, and the silence a stream starts with. The
# sound goes to an ALSA file device that paced_sink drains at a sound card's rate through a
# 4 KB pipe, so what is queued takes as long to play as on real hardware.
#
# Usage: bench/stop_latency.sh [BUILD_DIR] [RUNS]   (needs python3)
set -euo pipefail
# shellcheck source=bench/fifo_device.sh
source "$(dirname "$0")/fifo_device.sh"

build="${1:-build}"
runs="${2:-3}"
cli="$build/bin/zerbex2-cli"
window="$build/bin/zerbex_window_latency"
sink="$build/bin/paced_sink"
for f in "$cli" "$window" "$sink"; do
  [ -x "$f" ] || { echo "missing $f: build the project (with tests) first" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/make_test_wav.py" "$work/in.wav" 30
now() { date +%s.%N; }

# The device writes into a FIFO whose pacer runs, with the pipe already shrunk to 4 KB,
# before the stream opens: through ALSA's "|command" the stream can fill a 64 KB pipe
# before the pacer runs, and that would be measured too.
fifo_device "$work"

sinkpid=""
# Opened for reading and writing, the FIFO neither blocks the pacer nor ends when a stream
# closes it; the pacer is stopped by hand.
start_sink() {
  "$sink" "$1" 176400 0<>"$work/fifo" &
  sinkpid=$!
  sleep 0.2
}
stop_sink() {
  kill "$sinkpid" 2>/dev/null || true
  wait "$sinkpid" 2>/dev/null || true
}

for run in $(seq "$runs"); do
  echo "--- run $run"
  start_sink "$work/window.raw"
  ALSA_CONFIG_PATH="$work/fifo.conf" QT_QPA_PLATFORM=offscreen "$window" "$work/in.wav" \
    2>/dev/null
  stop_sink

  start_sink "$work/capture.raw"
  ALSA_CONFIG_PATH="$work/fifo.conf" "$cli" play "$work/in.wav" >/dev/null 2>&1 &
  pid=$!
  sleep 2
  t0=$(now)
  kill -INT "$pid"
  wait "$pid" || true
  t1=$(now)
  stop_sink
  python3 - "$t0" "$t1" "$work/capture.raw" <<'PY'
import sys
t0, t1 = float(sys.argv[1]), float(sys.argv[2])
cap = open(sys.argv[3], 'rb').read()
lead = next((i for i in range(0, len(cap) - 3, 4) if cap[i:i + 4] != b'\0\0\0\0'), len(cap))
print(f"Ctrl-C -> zerbex2-cli play gone: {t1 - t0:.3f} s")
print(f"silence before the first sound: {lead / 176400:.3f} s")
PY
done
