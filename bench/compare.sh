#!/usr/bin/env bash
# Times `zerbex2-cli render` on a 10-minute 44.1 kHz 16-bit stereo file against
# `sox IN OUT oops`, ffmpeg's channel-difference pan and `cp`, interleaved round by round
# so that all four see the same machine, and prints the least time of each and the ratios.
#
#   bench/compare.sh [--rounds N] [--minutes M] [--cli PATH]
#
# Without --cli the project is built first (scripts/setup.sh: $ZERBEX_BUILD, default
# build/). sox and ffmpeg are installed when missing. Work files live in a temporary
# folder that is removed at the end.
set -euo pipefail
# shellcheck source=scripts/setup.sh
source "$(dirname "$0")/../scripts/setup.sh"

rounds=7
minutes=10
cli=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --minutes) minutes="$2"; shift 2 ;;
    --cli) cli="$2"; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "compare.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

# The project's own packages and the tools this script compares with.
install_missing_packages sox ffmpeg

if [ -z "$cli" ]; then
  configure_and_build "$ZERBEX_BUILD" >/dev/null
  cli="$ZERBEX_BUILD/bin/zerbex2-cli"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/zerbex-compare.XXXXXX")"
trap 'rm -rf "$work"' EXIT

echo "Generating a ${minutes}-minute 44.1 kHz 16-bit stereo file..."
# A centred voice-like tone, a bass, an instrument on each side and some noise.
sox -q -r 44100 -c 5 -n -b 16 -c 2 "$work/in.wav" \
  synth "$((minutes * 60))" sine 330 sine 55 sine 2500 sine 1800 pinknoise \
  remix 1v0.25,2v0.2,3v0.2,5v0.1 1v0.25,2v0.2,4v0.2,5v0.1

declare -A best
tools=(render sox ffmpeg cp)

run_tool() {
  case "$1" in
    render) "$cli" render "$work/in.wav" "$work/render.wav" ;;
    sox) sox "$work/in.wav" "$work/sox.wav" oops ;;
    ffmpeg) ffmpeg -nostdin -loglevel error -y -i "$work/in.wav" \
              -af "pan=stereo|c0=c0-c1|c1=c1-c0" "$work/ffmpeg.wav" ;;
    cp) cp "$work/in.wav" "$work/cp.wav" ;;
  esac
}

# Seconds, to the microsecond, that a command takes; its output file is removed first so
# that no tool pays for deleting an earlier one.
time_tool() {
  rm -f "$work/$1.wav"
  sync
  local start="$EPOCHREALTIME"
  run_tool "$1"
  local end="$EPOCHREALTIME"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }'
}

# awk arithmetic on the shell's numbers: calc 'a / b' 1 2
calc() { awk -v a="${2:-0}" -v b="${3:-0}" "BEGIN { printf \"%.6f\", $1 }"; }
less_than() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

for tool in "${tools[@]}"; do
  run_tool "$tool"  # warm the page cache and the binaries
done
for ((round = 1; round <= rounds; round++)); do
  line="round $round:"
  for tool in "${tools[@]}"; do
    t="$(time_tool "$tool")"
    line+="$(printf '  %s %.3f' "$tool" "$t")"
    if [ -z "${best[$tool]:-}" ] || less_than "$t" "${best[$tool]}"; then
      best[$tool]="$t"
    fi
  done
  echo "$line"
done

ratio() { calc 'a / b' "${best[$1]}" "${best[$2]}"; }
verdict() { if less_than "$2" "$1"; then echo "NOT met"; else echo "met"; fi; }

echo
echo "Least of $rounds rounds ($(lscpu | sed -n 's/^Model name: *//p')):"
for tool in "${tools[@]}"; do
  printf '  %-7s %.3f s\n' "$tool" "${best[$tool]}"
done
vs_sox="$(ratio render sox)"
vs_ffmpeg="$(ratio render ffmpeg)"
printf 'render / sox oops   = %.2f  (goal <= 0.75: %s)\n' "$vs_sox" "$(verdict "$vs_sox" 0.75)"
printf 'render / ffmpeg pan = %.2f  (goal <= 1.00: %s)\n' "$vs_ffmpeg" \
  "$(verdict "$vs_ffmpeg" 1.0)"
printf 'render / cp         = %.2f\n' "$(ratio render cp)"
frames="$(soxi -s "$work/in.wav")"
printf 'render: %.1f ns per frame, %.0f x real time\n' \
  "$(calc 'a * 1e9 / b' "${best[render]}" "$frames")" \
  "$(calc 'a * 60 / b' "$minutes" "${best[render]}")"
