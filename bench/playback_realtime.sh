#!/usr/bin/env bash
# Does playback keep up in real time while another process keeps a core busy, and what
# does it cost?
#
# Plays a generated 60-second 44.1 kHz file with `zerbex2-cli play --once` into an ALSA
# file device paced at exactly real time by paced_sink (a sound card's pace, no daemon),
# with a busy loop running on the side. A gap (the device running dry) shows as inserted
# silence, so the capture must equal what `render` writes, byte for byte, after the
# leading silence. The CPU time is the whole playing process's user + system time.
#
# MODE (default mode2) is the play mode, as `--mode` takes it: `stereo` measures the stereo
# mode's remover, run just in time on the playing thread.
#
# Usage: bench/playback_realtime.sh [BUILD_DIR] [SECONDS] [MODE]   (needs python3)
set -euo pipefail

build="${1:-build}"
seconds="${2:-60}"
mode="${3:-mode2}"
cli="$build/bin/zerbex2-cli"
sink="$build/bin/paced_sink"
for f in "$cli" "$sink"; do
  [ -x "$f" ] || { echo "missing $f: build the project (with tests) first" >&2; exit 1; }
done

work="$(mktemp -d)"
busy=""
cleanup() {
  [ -n "$busy" ] && kill "$busy" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$(dirname "$0")/make_test_wav.py" "$work/in.wav" "$seconds"

"$cli" render --mode "$mode" "$work/in.wav" "$work/rendered.wav"

cat > "$work/asound.conf" <<CONF
pcm.!default {
  type file
  slave { pcm { type null } }
  file "|exec $(realpath "$sink") $work/capture.raw 176400"
  format "raw"
}
CONF

( while :; do :; done ) &
busy=$!

TIMEFORMAT='%R %U %S'
times="$( { time ALSA_CONFIG_PATH="$work/asound.conf" "$cli" play --once --mode "$mode" "$work/in.wav" \
  2>"$work/play.err"; } 2>&1 )"
kill "$busy"; busy=""
read -r wall user sys <<<"$times"

python3 - "$work/capture.raw" "$work/rendered.wav" "$wall" "$user" "$sys" <<'PY'
import sys
cap = open(sys.argv[1], 'rb').read()
ref = open(sys.argv[2], 'rb').read()[44:]
wall, user, sys_ = map(float, sys.argv[3:6])
def first_sound(b):
    for i in range(0, len(b), 4):
        if b[i:i + 4] != b'\0\0\0\0':
            return i
    return len(b)
off = first_sound(cap) - first_sound(ref)
body = cap[off:off + len(ref)]
gaps = 0
if body != ref:
    # Count the places where the two part ways.
    i = 0
    while i < len(ref):
        if body[i:i + 4] != ref[i:i + 4]:
            gaps += 1
            i += 44100
        else:
            i += 4
print(f"played {len(ref) / 176400:.1f} s of sound in {wall:.1f} s wall time")
print(f"capture matches render byte for byte: {'yes' if body == ref else 'NO'}; gaps: {gaps}")
print(f"CPU: user {user:.2f} s + system {sys_:.2f} s = {100 * (user + sys_) / wall:.2f} % of one core")
PY
