#!/usr/bin/env bash
# The real-time check of playback_realtime.sh through a PulseAudio daemon instead: a
# private daemon with a null sink (timer-paced, like a sound card) as ALSA's default device,
# recorded with parec from the sink's monitor, while a busy loop keeps a core busy.
# PulseAudio drops a few thousand frames where recording and playback start and end, so
# the capture is checked from 1 second into the data to 2 seconds before its end: any gap
# shows as inserted silence or as skipped sound there.
#
# Needs pulseaudio, pulseaudio-utils (parec) and libasound2-plugins (ALSA's pulse device);
# none of them is needed to build or test the project.
# Usage: bench/playback_pulse.sh [BUILD_DIR] [SECONDS]   (needs python3)
set -euo pipefail

build="${1:-build}"
seconds="${2:-60}"
cli="$(realpath "$build/bin/zerbex2-cli")"
for tool in pulseaudio parec pactl python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work="$(mktemp -d)"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR"
daemon="" rec="" busy=""
cleanup() {
  for pid in $busy $rec $daemon; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

pulseaudio -n --daemonize=no --exit-idle-time=-1 --log-target=stderr \
  --load="module-null-sink sink_name=zbench rate=44100 channels=2 format=s16le" \
  --load="module-native-protocol-unix" 2>"$work/pulse.log" &
daemon=$!
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

"$(dirname "$0")/make_test_wav.py" "$work/in.wav" "$seconds"
"$cli" render "$work/in.wav" "$work/rendered.wav"
printf 'pcm.!default { type pulse device zbench }\n' >"$work/asound.conf"

parec --device=zbench.monitor --format=s16le --rate=44100 --channels=2 --raw >"$work/capture.raw" &
rec=$!
sleep 0.5
( while :; do :; done ) &
busy=$!

TIMEFORMAT='%R %U %S'
times="$( { time ALSA_CONFIG_PATH="$work/asound.conf" "$cli" play --once "$work/in.wav" \
  2>"$work/play.err"; } 2>&1 )"
kill "$busy"; busy=""
sleep 0.5
kill "$rec"; rec=""
read -r wall user sys <<<"$times"

python3 - "$work/capture.raw" "$work/rendered.wav" "$wall" "$user" "$sys" <<'PY'
import sys
cap = open(sys.argv[1], 'rb').read()
ref = open(sys.argv[2], 'rb').read()[44:]
wall, user, sys_ = map(float, sys.argv[3:6])
second = 176400
start, end = second, len(ref) - 2 * second
at = cap.find(ref[start:start + 4400])
if at < 0:
    sys.exit("the sound was not found in the capture")
same = cap[at:at + end - start] == ref[start:end]
print(f"played {len(ref) / second:.1f} s of sound in {wall:.1f} s wall time")
print(f"seconds 1 to {end // second} of the data captured without a gap: {'yes' if same else 'NO'}")
print(f"CPU: user {user:.2f} s + system {sys_:.2f} s = {100 * (user + sys_) / wall:.2f} % of one core")
PY
