#!/usr/bin/env bash
# Key and tempo: the two libraries compared (if zerbex_stretch_compare was built), a 10-minute
# render at +2 semitones against a plain mode-2 render and its memory, playback at +4
# semitones and 90 % tempo (processor time while it plays to a device paced at a sound card's
# rate, and the capture against what render writes), and how soon Ctrl+Up in the window is
# heard. Times are the best of RUNS: other work on the machine only adds to them.
#
# Usage: bench/key_tempo.sh [BUILD_DIR] [RUNS]   (needs sox, python3, xvfb-run)
set -euo pipefail
# shellcheck source=bench/fifo_device.sh
source "$(dirname "$0")/fifo_device.sh"

build="${1:-build}"
runs="${2:-3}"
cli="$build/bin/zerbex2-cli"
sink="$build/bin/paced_sink"
latency="$build/bin/zerbex_key_latency"
for f in "$cli" "$sink" "$latency"; do
  [ -x "$f" ] || { echo "missing $f: build the project (with tests) first" >&2; exit 1; }
done

work="$(mktemp -d)"
sinkpid=""
cleanup() {
  [ -n "$sinkpid" ] && kill "$sinkpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "${SKIP_COMPARE:-}" ] && [ -x "$build/bin/zerbex_stretch_compare" ]; then
  echo "=== SoundTouch and Rubber Band on the same signals"
  "$build/bin/zerbex_stretch_compare"
fi

echo "=== A 10-minute render"
sox -q -r 44100 -c 3 -n -b 16 -c 2 "$work/long.wav" synth 600 sine 330 sine 2500 pinknoise \
  remix 1v0.3,2v0.3,3v0.1 1v0.3,3v0.1
best() {  # best wall time of runs of the command, in seconds
  local t b=""
  for _ in $(seq "$runs"); do
    /usr/bin/time -f %e -o "$work/wall.txt" "$@" >/dev/null 2>&1
    t="$(tail -1 "$work/wall.txt")"
    b="$(awk -v a="$t" -v b="$b" 'BEGIN { print (b == "" || a < b) ? a : b }')"
  done
  echo "$b"
}
plain="$(best "$cli" render "$work/long.wav" "$work/plain.wav")"
shifted="$(best "$cli" render --key 2 "$work/long.wav" "$work/shifted.wav")"
echo "plain mode 2: $plain s; --key 2: $shifted s; $(awk -v a="$shifted" -v b="$plain" \
  'BEGIN { printf "%.1f", a / b }') times (goal: at most 5)"

/usr/bin/time -v -o "$work/time.txt" "$cli" render --key 2 "$work/long.wav" "$work/shifted.wav" &
runner=$!
samples=()
while kill -0 "$runner" 2>/dev/null; do
  pid="$(pgrep -P "$runner" || true)"
  if [ -n "$pid" ] && [ -r "/proc/$pid/status" ]; then
    rss="$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)"
    [ -n "$rss" ] && samples+=("$rss")
  fi
  sleep 0.05
done
wait "$runner"
peak="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")"
count="${#samples[@]}"
echo "--key 2 peak resident size: $((peak / 1024)) MB; sampled at a quarter, half and three" \
  "quarters of the run: $((samples[count / 4] / 1024)), $((samples[count / 2] / 1024))," \
  "$((samples[3 * count / 4] / 1024)) MB"

echo "=== Playback at +4 semitones, 90 % tempo"
fifo_device "$work"
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
  sinkpid=""
}
sox -q -r 44100 -c 2 -n -b 16 "$work/minute.wav" synth 60 sine 220 sine 330 remix 1v0.4 2v0.4
"$cli" render --key 4 --tempo 90 "$work/minute.wav" "$work/minute-shifted.wav"
start_sink "$work/played.raw"
TIMEFORMAT='%R %U %S'
times="$( { time ALSA_CONFIG_PATH="$work/fifo.conf" "$cli" play --once --key 4 --tempo 90 \
  "$work/minute.wav" >/dev/null 2>&1; } 2>&1 )"
sleep 0.3
stop_sink
read -r wall user sys <<<"$times"
python3 - "$work/played.raw" "$work/minute-shifted.wav" "$wall" "$user" "$sys" <<'PY'
import sys
cap = open(sys.argv[1], 'rb').read()
ref = open(sys.argv[2], 'rb').read()
ref = ref[ref.index(b'data') + 8:]
wall, user, sys_ = map(float, sys.argv[3:6])
start = next((i for i in range(0, len(cap) - 3, 4) if cap[i:i + 4] != b'\0\0\0\0'), len(cap))
lead = next((i for i in range(0, len(ref) - 3, 4) if ref[i:i + 4] != b'\0\0\0\0'), len(ref))
same = cap[start:start + len(ref) - lead] == ref[lead:]
print(f"played {len(ref) / 176400:.1f} s in {wall:.1f} s; capture equals render: "
      f"{'yes' if same else 'NO'}")
print(f"CPU: user {user:.2f} s + system {sys_:.2f} s = {100 * (user + sys_) / wall:.1f} % of one "
      "core (goal: under 25 %)")
PY

echo "=== Ctrl+Up in the window, heard"
sox -q -r 44100 -c 2 -n -b 16 "$work/sine.wav" synth 10 sine 440 gain -6
for run in $(seq "$runs"); do
  start_sink "$work/window.raw"
  ALSA_CONFIG_PATH="$work/fifo.conf" QT_QPA_PLATFORM=offscreen "$latency" "$work/sine.wav" \
    "$work/window.raw" 2>/dev/null
  stop_sink
done
