#!/usr/bin/env bash
# Times the decoding of a 10-minute MP3 (made by ffmpeg from a generated signal) against
# `ffmpeg -i IN.mp3 -f s16le -y /dev/null`, and decoding plus render to WAV against
# ffmpeg's channel-difference pan into a WAV, interleaved round by round; prints each
# round, the least time of each and the ratios, and the peak memory of each of ours.
#
#   bench/decode_compare.sh [--rounds N] [--minutes M]
#
# The project is built first (scripts/setup.sh: $ZERBEX_BUILD, default build/). The
# decoded copies go to a temporary cache folder; all work files are removed at the end.
set -euo pipefail
# shellcheck source=scripts/setup.sh
source "$(dirname "$0")/../scripts/setup.sh"

rounds=3
minutes=10
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --minutes) minutes="$2"; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "decode_compare.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

install_missing_packages ffmpeg time
configure_and_build "$ZERBEX_BUILD" >/dev/null
cli="$ZERBEX_BUILD/bin/zerbex2-cli"
decode="$ZERBEX_BUILD/bin/zerbex_decode_time"

work="$(mktemp -d "${TMPDIR:-/tmp}/zerbex-decode.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"

echo "Generating a ${minutes}-minute 44.1 kHz stereo MP3..."
ffmpeg -nostdin -loglevel error -f lavfi \
  -i "aevalsrc=0.3*sin(330*2*PI*t)+0.2*sin(55*2*PI*t)+0.1*sin(2500*2*PI*t)|0.3*sin(330*2*PI*t)+0.2*sin(55*2*PI*t)+0.1*sin(1800*2*PI*t):s=44100:d=$((minutes * 60))" \
  -b:a 192k "$work/in.mp3"

tools=(decode ffmpeg_decode render ffmpeg_pan)
declare -A best peak

# The command line of a tool, into cmd.
command_of() {
  case "$1" in
    decode) cmd=("$decode" "$work/in.mp3") ;;
    ffmpeg_decode) cmd=(ffmpeg -nostdin -loglevel error -i "$work/in.mp3" -f s16le -y /dev/null) ;;
    render) cmd=("$cli" render "$work/in.mp3" "$work/render.wav") ;;
    ffmpeg_pan) cmd=(ffmpeg -nostdin -loglevel error -y -i "$work/in.mp3"
                     -af "pan=stereo|c0=c0-c1|c1=c1-c0" "$work/ffmpeg_pan.wav") ;;
  esac
}

# Seconds a tool takes; its peak resident memory in kB goes to $work/peak. Output files
# are removed first so that no tool pays for deleting an earlier one.
time_tool() {
  command_of "$1"
  rm -f "$work/render.wav" "$work/ffmpeg_pan.wav"
  sync
  local start="$EPOCHREALTIME"
  /usr/bin/time -f %M -o "$work/peak" "${cmd[@]}" >/dev/null
  local end="$EPOCHREALTIME"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }'
}

calc() { awk -v a="${2:-0}" -v b="${3:-0}" "BEGIN { printf \"%.6f\", $1 }"; }
less_than() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

for tool in "${tools[@]}"; do
  time_tool "$tool" >/dev/null  # warm the page cache and the binaries
done
for ((round = 1; round <= rounds; round++)); do
  line="round $round:"
  declare -A this
  for tool in "${tools[@]}"; do
    t="$(time_tool "$tool")"
    this[$tool]="$t"
    peak[$tool]="$(cat "$work/peak")"
    line+="$(printf '  %s %.3f' "$tool" "$t")"
    if [ -z "${best[$tool]:-}" ] || less_than "$t" "${best[$tool]}"; then
      best[$tool]="$t"
    fi
  done
  echo "$line"
  printf '  decode / ffmpeg -f s16le = %.2f   decode+render / ffmpeg pan = %.2f\n' \
    "$(calc 'a / b' "${this[decode]}" "${this[ffmpeg_decode]}")" \
    "$(calc 'a / b' "${this[render]}" "${this[ffmpeg_pan]}")"
done

ratio() { calc 'a / b' "${best[$1]}" "${best[$2]}"; }
verdict() { if less_than "$2" "$1"; then echo "NOT met"; else echo "met"; fi; }

echo
echo "Least of $rounds rounds ($(lscpu | sed -n 's/^Model name: *//p')):"
for tool in "${tools[@]}"; do
  printf '  %-14s %.3f s   peak %6d kB\n' "$tool" "${best[$tool]}" "${peak[$tool]}"
done
d="$(ratio decode ffmpeg_decode)"
r="$(ratio render ffmpeg_pan)"
printf 'decode / ffmpeg -f s16le  = %.2f  (goal <= 1.2: %s)\n' "$d" "$(verdict "$d" 1.2)"
printf 'decode+render / ffmpeg pan = %.2f  (goal <= 1.5: %s)\n' "$r" "$(verdict "$r" 1.5)"
