#!/usr/bin/env bash
# Write jobs on every core against one core and against sox and ffmpeg, interleaved round
# by round so that all see the same machine; prints the least time of each and the goals:
#   - a 10-minute 44.1 kHz file: render <= 0.75 x `sox IN OUT oops`, <= 1.0 x ffmpeg's
#     channel-difference pan; render -j 2 against -j 1 (the segments' speed-up);
#   - boundaries in digital silence after sound, and in a periodic 40 Hz tone at the
#     lowest cut-off: render -j 2 at most 1.05 x render -j 1;
#   - a batch of 50 one-minute files: -j 2 at least 1.7 x the throughput of -j 1;
#   - peak memory of render -j 1 and -j 2 on the 10-minute file.
# The kernel alone: build/bin/zerbex_bench --benchmark_filter=Segmented.
#
#   bench/parallel.sh [--rounds N] [--cli PATH]
set -euo pipefail
# shellcheck source=scripts/setup.sh
source "$(dirname "$0")/../scripts/setup.sh"
# shellcheck source=bench/rounds.sh
source "$(dirname "$0")/rounds.sh"

rounds=3
cli=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --cli) cli="$2"; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "parallel.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

install_missing_packages sox ffmpeg time
if [ -z "$cli" ]; then
  configure_and_build "$ZERBEX_BUILD" >/dev/null
  cli="$ZERBEX_BUILD/bin/zerbex2-cli"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/zerbex-parallel.XXXXXX")"
trap 'rm -rf "$work"' EXIT

echo "Generating the files..."
sox -q -r 44100 -c 5 -n -b 16 -c 2 "$work/in.wav" \
  synth 600 sine 330 sine 55 sine 2500 sine 1800 pinknoise \
  remix 1v0.25,2v0.2,3v0.2,5v0.1 1v0.25,2v0.2,4v0.2,5v0.1
# Sound for 2 minutes, then 8 minutes of digital silence: the boundary cannot leave it.
sox -q "$work/in.wav" "$work/silence.wav" trim 0 120 pad 0 480
# A tone that repeats every 1,100 frames exactly, for 10 minutes.
python3 - "$work/periodic.wav" <<'PY'
import math, struct, sys
period = b''.join(struct.pack('<hh', int(30000 * math.sin(2 * math.pi * i / 1100)),
                              int(-20000 * math.sin(6 * math.pi * i / 1100)))
                  for i in range(1100))
frames = period * (44100 * 600 // 1100)
with open(sys.argv[1], 'wb') as out:
    out.write(b'RIFF' + struct.pack('<I', 36 + len(frames)) + b'WAVEfmt ' +
              struct.pack('<IHHIIHH', 16, 1, 2, 44100, 176400, 4, 16) +
              b'data' + struct.pack('<I', len(frames)) + frames)
PY
mkdir -p "$work/batch" "$work/batch-out"
sox -q "$work/in.wav" "$work/batch/take.wav" trim 0 60
for i in $(seq 1 50); do cp "$work/batch/take.wav" "$work/batch/take$i.wav"; done
rm "$work/batch/take.wav"

declare -A best
runs=(render render1 sox ffmpeg silence2 silence1 periodic2 periodic1 batch2 batch1)

run_one() {
  case "$1" in
    render) "$cli" render "$work/in.wav" "$work/out.wav" ;;
    render1) "$cli" render -j 1 "$work/in.wav" "$work/out.wav" ;;
    sox) sox "$work/in.wav" "$work/out.wav" oops ;;
    ffmpeg) ffmpeg -nostdin -loglevel error -y -i "$work/in.wav" \
              -af "pan=stereo|c0=c0-c1|c1=c1-c0" "$work/out.wav" ;;
    silence2) "$cli" render -j 2 "$work/silence.wav" "$work/out.wav" ;;
    silence1) "$cli" render -j 1 "$work/silence.wav" "$work/out.wav" ;;
    periodic2) "$cli" render -j 2 --low 0 "$work/periodic.wav" "$work/out.wav" ;;
    periodic1) "$cli" render -j 1 --low 0 "$work/periodic.wav" "$work/out.wav" ;;
    batch2) "$cli" render -j 2 --output-dir "$work/batch-out" "$work"/batch/*.wav ;;
    batch1) "$cli" render -j 1 --output-dir "$work/batch-out" "$work"/batch/*.wav ;;
  esac
}

time_one() {
  rm -f "$work/out.wav" "$work"/batch-out/*
  sync
  local start="$EPOCHREALTIME"
  run_one "$1"
  local end="$EPOCHREALTIME"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }'
}

calc() { awk -v a="${2:-0}" -v b="${3:-0}" "BEGIN { printf \"%.6f\", $1 }"; }

for r in "${runs[@]}"; do
  run_one "$r"  # warm the page cache and the binaries
done
# Every output is the sequential one, byte for byte.
for f in in silence periodic; do
  low=""; [ "$f" = periodic ] && low="--low 0"
  # shellcheck disable=SC2086
  "$cli" render -j 1 $low "$work/$f.wav" "$work/seq.wav"
  # shellcheck disable=SC2086
  "$cli" render -j 2 $low "$work/$f.wav" "$work/par.wav"
  cmp -s "$work/seq.wav" "$work/par.wav" || { echo "$f: -j 2 differs from -j 1" >&2; exit 1; }
done
echo "Outputs of -j 2 and -j 1 are identical."

run_rounds "$rounds" "${runs[@]}"

ratio() { calc 'a / b' "${best[$1]}" "${best[$2]}"; }
verdict() {  # value goal: met when value <= goal, or >= goal with "min"
  if [ "${3:-max}" = min ]; then
    if less_than "$1" "$2"; then echo "NOT met"; else echo "met"; fi
  else
    if less_than "$2" "$1"; then echo "NOT met"; else echo "met"; fi
  fi
}

echo
echo "Least of $rounds rounds, seconds:"
for r in "${runs[@]}"; do printf '  %-10s %.3f\n' "$r" "${best[$r]}"; done
v="$(ratio render sox)"; printf 'render / sox oops        = %.2f  (goal <= 0.75: %s)\n' "$v" "$(verdict "$v" 0.75)"
v="$(ratio render ffmpeg)"; printf 'render / ffmpeg pan      = %.2f  (goal <= 1.00: %s)\n' "$v" "$(verdict "$v" 1.0)"
v="$(ratio render1 render)"; printf 'render -j 1 / all cores  = %.2f\n' "$v"
v="$(ratio silence2 silence1)"; printf 'silence  -j 2 / -j 1     = %.2f  (goal <= 1.05: %s)\n' "$v" "$(verdict "$v" 1.05)"
v="$(ratio periodic2 periodic1)"; printf 'periodic -j 2 / -j 1     = %.2f  (goal <= 1.05: %s)\n' "$v" "$(verdict "$v" 1.05)"
v="$(ratio batch1 batch2)"; printf 'batch of 50, -j 1 / -j 2 = %.2f  (goal >= 1.70: %s)\n' "$v" "$(verdict "$v" 1.7 min)"
for j in 1 2; do
  /usr/bin/time -f "%M" -o "$work/mem" "$cli" render -j "$j" "$work/in.wav" "$work/out.wav"
  printf 'peak memory, render -j %s: %s KB\n' "$j" "$(cat "$work/mem")"
done
