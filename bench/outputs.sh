#!/usr/bin/env bash
# Encoded outputs: a 10-minute MP3 rendered to MP3 against ffmpeg's channel-difference pan
# into MP3 at the same LAME setting (-q:a 2, our default V2), and a batch of 20 MP3s to MP3
# on every core against -j 1, interleaved round by round; prints each round, the least time
# of each and the goals:
#   - render (the default mode2) <= 1.3 x `ffmpeg -i in.mp3 -af
#     'pan=stereo|c0=c0-c1|c1=c1-c0' -q:a 2 out.mp3`, though LAME takes longer over its
#     output, which has a centre (the bass) where the pan's has none; --mode mode1 (the pan's
#     arithmetic) beside it;
#   - the batch: -j 1 at least 1.7 x the time of all cores.
# Also prints the SNR of each lossy format against the WAV render of a music-like file.
#
#   bench/outputs.sh [--rounds N] [--cli PATH]
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
    *) echo "outputs.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

install_missing_packages ffmpeg
if [ -z "$cli" ]; then
  build_targets "$ZERBEX_BUILD" zerbex2-cli >/dev/null
  cli="$ZERBEX_BUILD/bin/zerbex2-cli"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/zerbex-outputs.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Notes with vibrato and tremolo, a bass line and some noise, different on each side.
music() {
  ffmpeg -nostdin -loglevel error -y -f lavfi -i "aevalsrc=\
0.3*sin(220*2*PI*t)*(1+0.5*sin(2*PI*t))+0.2*sin(330*2*PI*t+sin(5*t))+0.15*sin(55*2*PI*t)\
+0.1*sin(1760*2*PI*t)*sin(3*PI*t)+0.05*(random(0)-0.5)|\
0.25*sin(277*2*PI*t)+0.2*sin(440*2*PI*t)*(1+0.3*sin(7*t))+0.15*sin(55*2*PI*t)\
+0.08*sin(2637*2*PI*t)+0.05*(random(1)-0.5):s=44100:d=$1" -c:a libmp3lame -q:a 2 "$2"
}

echo "Generating a 10-minute MP3 and 20 one-minute ones..."
music 600 "$work/in.mp3"
mkdir -p "$work/batch" "$work/batch-out"
music 60 "$work/batch/take.mp3"
for i in $(seq 1 20); do cp "$work/batch/take.mp3" "$work/batch/take$i.mp3"; done
rm "$work/batch/take.mp3"

declare -A best
runs=(mode1 mode2 ffmpeg batch batch1)

run_one() {
  case "$1" in
    mode1) "$cli" render --mode mode1 "$work/in.mp3" "$work/out.mp3" ;;
    mode2) "$cli" render "$work/in.mp3" "$work/out.mp3" ;;
    ffmpeg) ffmpeg -nostdin -loglevel error -y -i "$work/in.mp3" \
              -af "pan=stereo|c0=c0-c1|c1=c1-c0" -q:a 2 "$work/out.mp3" ;;
    batch) "$cli" render --format mp3 --output-dir "$work/batch-out" "$work"/batch/*.mp3 ;;
    batch1) "$cli" render -j 1 --format mp3 --output-dir "$work/batch-out" \
              "$work"/batch/*.mp3 ;;
  esac
}

time_one() {
  rm -f "$work/out.mp3" "$work"/batch-out/*
  local start="$EPOCHREALTIME"
  run_one "$1"
  local end="$EPOCHREALTIME"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }'
}

calc() { awk -v a="${2:-0}" -v b="${3:-0}" "BEGIN { printf \"%.6f\", $1 }"; }
verdict() {  # value goal: met when value <= goal, or >= goal with "min"
  if [ "${3:-max}" = min ]; then
    if less_than "$1" "$2"; then echo "NOT met"; else echo "met"; fi
  elif less_than "$2" "$1"; then echo "NOT met"; else echo "met"; fi
}

run_rounds "$rounds" "${runs[@]}"

echo
echo "Least of $rounds rounds, seconds:"
for r in "${runs[@]}"; do printf '  %-7s %.3f\n' "$r" "${best[$r]}"; done
v="$(calc 'a / b' "${best[mode1]}" "${best[ffmpeg]}")"
printf 'render mode1 / ffmpeg pan = %.2f\n' "$v"
v="$(calc 'a / b' "${best[mode2]}" "${best[ffmpeg]}")"
printf 'render mode2 / ffmpeg pan = %.2f  (goal <= 1.30: %s)\n' "$v" "$(verdict "$v" 1.3)"
v="$(calc 'a / b' "${best[batch1]}" "${best[batch]}")"
printf 'batch of 20, -j 1 / all   = %.2f  (goal >= 1.70: %s)\n' "$v" "$(verdict "$v" 1.7 min)"

# Each lossy format decoded back against the WAV render, sample by sample (Opus against the
# WAV render resampled to 48 kHz by the same resampler).
echo
echo "SNR against the WAV render of a 20-second music-like MP3, default quality:"
music 20 "$work/music.mp3"
"$cli" render "$work/music.mp3" "$work/music.wav"
ffmpeg -nostdin -loglevel error -y -i "$work/music.wav" -ar 48000 -f s16le "$work/ref48.raw"
ffmpeg -nostdin -loglevel error -y -i "$work/music.wav" -f s16le "$work/ref.raw"
for ext in mp3 m4a opus ogg; do
  "$cli" render "$work/music.mp3" "$work/rendered.$ext"
  ffmpeg -nostdin -loglevel error -y -i "$work/rendered.$ext" -f s16le "$work/got.raw"
  ref="$work/ref.raw"; [ "$ext" = opus ] && ref="$work/ref48.raw"
  python3 - "$ref" "$work/got.raw" "$ext" <<'PY'
import array, math, sys
ref, got = array.array('h'), array.array('h')
ref.frombytes(open(sys.argv[1], 'rb').read())
got.frombytes(open(sys.argv[2], 'rb').read())
n = min(len(ref), len(got))
signal = sum(r * r for r in ref[:n])
noise = sum((g - r) * (g - r) for r, g in zip(ref[:n], got[:n]))
print(f"  {sys.argv[3]:5} {10 * math.log10(signal / noise):6.1f} dB")
PY
done
