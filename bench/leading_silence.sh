#!/usr/bin/env bash
# The silence before a play's first sound, and gaps after it, behind a device that takes much
# at once: an ALSA file device writing into a FIFO whose pipe is left at PIPE_BYTES (64 KB, the
# pipe's own size and about what a desktop sound server holds; 4096 for a card's small
# buffer), read at a sound card's pace by a pacer that does not make up time it waited.
#
# `zerbex2-cli play --once` and the real window (zerbex_window_play) play a generated file in
# MODE, RUNS times each; the leading silence is the capture's first sound less the rendered
# file's. Each capture is then compared with what `zerbex2-cli render` writes: "gaps" counts
# the places where they part ways. The window goes back at its loop end (100 of 110 steps),
# so its capture is compared up to 0.3 s before that.
#
# Usage: bench/leading_silence.sh [BUILD_DIR] [RUNS] [PIPE_BYTES] [MODE] [FILE_SECONDS] [EXTRA]
#        EXTRA: seconds the window plays beyond the file's length (1.5; more on a busy machine)
#        (needs python3)
set -euo pipefail
# shellcheck source=bench/fifo_device.sh
source "$(dirname "$0")/fifo_device.sh"

build="${1:-build}"
runs="${2:-10}"
pipe="${3:-65536}"
mode="${4:-2}"
seconds="${5:-3}"
extra="${6:-1.5}"
cli="$build/bin/zerbex2-cli"
window="$build/bin/zerbex_window_play"
for f in "$cli" "$window"; do
  [ -x "$f" ] || { echo "missing $f: build zerbex2-cli and zerbex_window_play" >&2; exit 1; }
done
climode="$mode"
case "$mode" in 1 | 2) climode="mode$mode" ;; esac

work="$(mktemp -d)"
pacer=""
cleanup() {
  [ -n "$pacer" ] && kill "$pacer" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"

"$(dirname "$0")/make_test_wav.py" "$work/in.wav" "$seconds"
"$cli" render --mode "$climode" "$work/in.wav" "$work/rendered.wav"
fifo_device "$work"

cat > "$work/pacer.py" <<'PY'
import fcntl, os, sys, time
fd = os.open(sys.argv[1], os.O_RDWR)
fcntl.fcntl(fd, fcntl.F_SETPIPE_SZ, int(sys.argv[3]))
out = open(sys.argv[2], 'wb')
open(sys.argv[2] + '.ready', 'w').close()
rate, due = 176400.0, time.monotonic()
while True:
    time.sleep(max(0.0, due - time.monotonic()))
    chunk = os.read(fd, 4096)
    if not chunk:
        break
    out.write(chunk)
    out.flush()
    due = max(due, time.monotonic()) + len(chunk) / rate
PY

start_pacer() {
  rm -f "$work/capture.raw" "$work/capture.raw.ready"
  python3 "$work/pacer.py" "$work/fifo" "$work/capture.raw" "$pipe" &
  pacer=$!
  while [ ! -e "$work/capture.raw.ready" ]; do sleep 0.01; done
  sleep 0.1
}

# Lets the pipe play out, then stops the pacer.
stop_pacer() {
  sleep 0.6
  kill "$pacer" 2>/dev/null || true
  wait "$pacer" 2>/dev/null || true
  pacer=""
}

# "LEADING_SILENCE GAPS" of the capture against the rendered file.
judge() {
  python3 - "$work/capture.raw" "$work/rendered.wav" "$1" <<'PY'
import sys
cap = open(sys.argv[1], 'rb').read()
ref = open(sys.argv[2], 'rb').read()[44:]
if sys.argv[3] == 'window':
    ref = ref[:(len(ref) * 100 // 110 - 52920) // 4 * 4]
def first_sound(b):
    for i in range(0, len(b) - 3, 4):
        if b[i:i + 4] != b'\0\0\0\0':
            return i
    return len(b)
lead = first_sound(cap) - first_sound(ref)
body = cap[lead:lead + len(ref)]
gaps, i = 0, 0
while i < min(len(body), len(ref)):
    if body[i:i + 4] != ref[i:i + 4]:
        gaps += 1
        print(f"  gap at {i / 176400:.3f} s", file=sys.stderr)
        i += 44100
    else:
        i += 4
short = len(ref) - len(body)
print(f"{lead / 176400:.3f} {gaps}{'' if short <= 0 else f' ({short // 4} frames missing)'}")
PY
}

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

for who in cli window; do
  leads=()
  results=()
  for _ in $(seq "$runs"); do
    start_pacer
    if [ "$who" = cli ]; then
      ALSA_CONFIG_PATH="$work/fifo.conf" "$cli" play --once --mode "$climode" "$work/in.wav" \
        >/dev/null 2>"$work/play.err" || cat "$work/play.err" >&2
    else
      ALSA_CONFIG_PATH="$work/fifo.conf" QT_QPA_PLATFORM=offscreen "$window" "$work/in.wav" \
        "$mode" "$(python3 -c "print($seconds + $extra)")" >"$work/window.out" 2>/dev/null
      sed -n 's/^largest burst/  &/p' "$work/window.out"
    fi
    stop_pacer
    read -r lead gaps rest <<<"$(judge "$who")"
    leads+=("$lead")
    results+=("$lead/$gaps${rest:+ $rest}")
  done
  echo "$who, mode $mode, pipe $pipe bytes: leading silence/gaps per run: ${results[*]}"
  echo "$who: median leading silence $(median "${leads[@]}") s"
done
