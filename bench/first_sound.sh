#!/usr/bin/env bash
# How soon a decoded input sounds. `zerbex2-cli play`: from the launch of the tool to the
# first byte of sound (not silence) that reaches an ALSA file device paced at a sound card's
# rate, for a 30-minute MP3 (made by ffmpeg from a generated WAV) and for that 16-bit WAV
# itself. The window (zerbex_window_latency --choose): choosing a 10-minute MP3 to the window
# taking input again, Alt+2 right after to the first sound, and closing the window while it
# decodes to the window gone; idle and with a busy loop on the side. The pacer timestamps
# what it reads; it runs before the program starts, reading a FIFO whose pipe it shrinks to
# 4 KB, so the stream's leading silence paces the sound behind it as on real hardware.
#
# Usage: bench/first_sound.sh [BUILD_DIR] [RUNS] [MINUTES]   (needs python3 and ffmpeg)
#        WINDOW_LOADS="idle" (or "") limits the window's runs to those loads (or none).
set -euo pipefail
# shellcheck source=bench/fifo_device.sh
source "$(dirname "$0")/fifo_device.sh"

build="${1:-build}"
runs="${2:-5}"
minutes="${3:-30}"
cli="$build/bin/zerbex2-cli"
window="$build/bin/zerbex_window_latency"
for f in "$cli" "$window"; do
  [ -x "$f" ] || { echo "missing $f: build zerbex2-cli and zerbex_window_latency" >&2; exit 1; }
done

work="$(mktemp -d)"
pacer=""
busy=""
cleanup() {
  [ -n "$pacer" ] && kill "$pacer" 2>/dev/null || true
  [ -n "$busy" ] && kill "$busy" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CACHE_HOME="$work/cache"

echo "Generating a ${minutes}-minute WAV and its MP3..."
ffmpeg -nostdin -loglevel error -f lavfi \
  -i "aevalsrc=0.3*sin(330*2*PI*t)+0.2*sin(55*2*PI*t)+0.05*random(0)|0.3*sin(330*2*PI*t)+0.2*sin(82*2*PI*t)+0.05*random(1):s=44100:d=$((minutes * 60))" \
  -c:a pcm_s16le "$work/in.wav"
ffmpeg -nostdin -loglevel error -i "$work/in.wav" -b:a 192k "$work/in.mp3"
ffmpeg -nostdin -loglevel error -i "$work/in.wav" -t 600 -b:a 192k "$work/ten.mp3"

fifo_device "$work"

# Reads the FIFO as paced_sink does, 4 KB at a time at 176,400 bytes a second, and writes
# the wall-clock time at which the first byte of sound in it plays (the chunk's time, and
# the bytes before it in the chunk at the pace) into the file named by its argument.
cat > "$work/pacer.py" <<'PY'
import fcntl, os, sys, time
fd = os.open(sys.argv[1], os.O_RDWR)
fcntl.fcntl(fd, fcntl.F_SETPIPE_SZ, 4096)
open(sys.argv[2] + '.ready', 'w').close()
rate, due, heard = 176400.0, time.monotonic(), False
while True:
    time.sleep(max(0.0, due - time.monotonic()))
    chunk = os.read(fd, 4096)
    if not chunk:
        break
    if not heard and any(chunk):
        heard = True
        first = next(i for i, b in enumerate(chunk) if b)
        with open(sys.argv[2], 'w') as out:
            out.write(f"{time.time() + first / rate:.6f}\n")
    due = max(due, time.monotonic()) + len(chunk) / rate
PY

now() { date +%s.%N; }

# The pacer shrinks the pipe before anything is written into it.
start_pacer() {
  rm -f "$work/heard" "$work/heard.ready"
  python3 "$work/pacer.py" "$work/fifo" "$work/heard" &
  pacer=$!
  while [ ! -e "$work/heard.ready" ]; do
    sleep 0.01
  done
  sleep 0.1
}

stop_pacer() {
  kill "$pacer" 2>/dev/null || true
  wait "$pacer" 2>/dev/null || true
  pacer=""
}

# Seconds from $1 (wall clock) to the first sound the pacer heard.
since() {
  if [ -s "$work/heard" ]; then
    python3 -c "import sys; print(f'{float(sys.argv[2]) - float(sys.argv[1]):.3f}')" \
      "$1" "$(cat "$work/heard")"
  else
    echo "none"
  fi
}

# Plays $1 with the tool to its first sound and a second more; the seconds from launch.
cli_first_sound() {
  start_pacer
  local t0 pid
  t0=$(now)
  ALSA_CONFIG_PATH="$work/fifo.conf" "$cli" play "$1" >/dev/null 2>"$work/play.err" &
  pid=$!
  for _ in $(seq 100); do
    [ -s "$work/heard" ] && break
    sleep 0.05
  done
  sleep 1
  kill -INT "$pid" 2>/dev/null || true
  wait "$pid" || true
  stop_pacer
  since "$t0"
  [ -s "$work/heard" ] || cat "$work/play.err" >&2
}

# Chooses the 10-minute MP3 in the window and presses Alt+2, then closes a second window while
# it decodes; "USABLE FIRST_SOUND CLOSE" seconds.
window_first_sound() {
  start_pacer
  ALSA_CONFIG_PATH="$work/fifo.conf" QT_QPA_PLATFORM=offscreen "$window" --choose \
    "$work/ten.mp3" >"$work/window.out" 2>/dev/null
  stop_pacer
  local usable pressed close
  usable=$(sed -n 's/^choose -> window usable: \([0-9.]*\) s$/\1/p' "$work/window.out")
  pressed=$(sed -n 's/^alt+2 pressed at \([0-9.]*\)$/\1/p' "$work/window.out")
  close=$(sed -n 's/^close while decoding -> window gone: \([0-9.]*\) s$/\1/p' "$work/window.out")
  echo "$usable $(since "$pressed") $close"
}

for kind in mp3 wav; do
  times=()
  for _ in $(seq "$runs"); do
    times+=("$(cli_first_sound "$work/in.$kind")")
  done
  echo "zerbex2-cli play, launch -> first sound, ${minutes}-minute .$kind: ${times[*]} s"
done

for load in ${WINDOW_LOADS-idle busy}; do
  if [ "$load" = busy ]; then
    ( while :; do :; done ) &
    busy=$!
  fi
  usable=()
  sound=()
  closed=()
  for _ in $(seq "$runs"); do
    read -r u f c <<<"$(window_first_sound)"
    usable+=("$u")
    sound+=("$f")
    closed+=("$c")
  done
  echo "window ($load), choose 10-minute .mp3 -> usable: ${usable[*]} s"
  echo "window ($load), Alt+2 -> first sound: ${sound[*]} s"
  echo "window ($load), close while decoding -> gone: ${closed[*]} s"
done
