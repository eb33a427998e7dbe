#!/usr/bin/env bash
# The stereo mode live: the processor time of `play --mode stereo` against a device paced at a
# sound card's rate, its capture against what `render --mode stereo` writes
# (bench/playback_realtime.sh, with a busy loop beside it), and how soon the output level and
# the pan are heard in the real window, RUNS times each (other work on the machine only adds to
# it).
#
# Usage: bench/stereo_playback.sh [BUILD_DIR] [RUNS]   (needs sox, python3, xvfb-run)
set -euo pipefail
# shellcheck source=bench/fifo_device.sh
source "$(dirname "$0")/fifo_device.sh"

build="${1:-build}"
runs="${2:-3}"
sink="$build/bin/paced_sink"
latency="$build/bin/zerbex_stereo_latency"
for f in "$sink" "$latency"; do
  [ -x "$f" ] || { echo "missing $f: build the project (with tests) first" >&2; exit 1; }
done

echo "=== Playback in the stereo mode, a 60-second file (goal: under 10 % of one core)"
"$(dirname "$0")/playback_realtime.sh" "$build" 60 stereo

work="$(mktemp -d)"
sinkpid=""
cleanup() {
  [ -n "$sinkpid" ] && kill "$sinkpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fifo_device "$work"

sox -q -r 44100 -c 2 -n -b 16 "$work/sine.wav" synth 10 sine 440 remix 1v0.15 0
# The output level acts as frames leave the remover, the pan through the window it remakes; in
# mode 2 the level acts as the frame processing makes each piece.
for knob in level pan level:mode2; do
  IFS=: read -ra args <<<"$knob"
  echo "=== Home on the $knob trackbar in the window, heard (goal: 0.1 s)"
  for _ in $(seq "$runs"); do
    "$sink" "$work/window.raw" 176400 0<>"$work/fifo" &
    sinkpid=$!
    sleep 0.2
    ALSA_CONFIG_PATH="$work/fifo.conf" QT_QPA_PLATFORM=offscreen "$latency" "$work/sine.wav" \
      "$work/window.raw" "${args[@]}" 2>/dev/null
    kill "$sinkpid" 2>/dev/null || true
    wait "$sinkpid" 2>/dev/null || true
    sinkpid=""
    rm -f "$work/window.raw"
  done
done
