#!/usr/bin/env bash
# The stereo mode's writes against mode 2's on a 10-minute 44.1 kHz file, one core and every
# core, interleaved round by round so that all see the same machine; prints the least time
# of each and the goal: stereo within 2.5 x mode 2, on one core and on every core. Also checks
# that -j 1 and every core write the same bytes, with and without the vocals (--stems), and
# prints the peak memory of a stereo render.
#
#   bench/stereo.sh [--rounds N] [--cli PATH]
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
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "stereo.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

install_missing_packages sox time
if [ -z "$cli" ]; then
  configure_and_build "$ZERBEX_BUILD" >/dev/null
  cli="$ZERBEX_BUILD/bin/zerbex2-cli"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/zerbex-stereo.XXXXXX")"
trap 'rm -rf "$work"' EXIT

echo "Generating the file..."
sox -q -r 44100 -c 5 -n -b 16 -c 2 "$work/in.wav" \
  synth 600 sine 330 sine 55 sine 2500 sine 1800 pinknoise \
  remix 1v0.25,2v0.2,3v0.2,5v0.1 1v0.25,2v0.2,4v0.2,5v0.1

declare -A best
runs=(stereo stereo1 mode2 mode21 stems stems1)

run_one() {
  case "$1" in
    stereo) "$cli" render --mode stereo "$work/in.wav" "$work/out.wav" ;;
    stereo1) "$cli" render -j 1 --mode stereo "$work/in.wav" "$work/out.wav" ;;
    mode2) "$cli" render "$work/in.wav" "$work/out.wav" ;;
    mode21) "$cli" render -j 1 "$work/in.wav" "$work/out.wav" ;;
    stems) "$cli" render --stems --mode stereo "$work/in.wav" "$work/out.wav" ;;
    stems1) "$cli" render -j 1 --stems --mode stereo "$work/in.wav" "$work/out.wav" ;;
  esac
}

time_one() {
  rm -f "$work/out.wav" "$work/out-vocals.wav"
  sync
  local start="$EPOCHREALTIME"
  run_one "$1"
  local end="$EPOCHREALTIME"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }'
}


for stems in "" --stems; do
  # shellcheck disable=SC2086
  "$cli" render -j 1 $stems --mode stereo "$work/in.wav" "$work/seq.wav"
  # shellcheck disable=SC2086
  "$cli" render $stems --mode stereo "$work/in.wav" "$work/par.wav"
  cmp -s "$work/seq.wav" "$work/par.wav" || { echo "stereo: all cores differ from -j 1" >&2; exit 1; }
  if [ -n "$stems" ]; then
    cmp -s "$work/seq-vocals.wav" "$work/par-vocals.wav" ||
      { echo "stereo vocals: all cores differ from -j 1" >&2; exit 1; }
  fi
done
echo "Stereo outputs of -j 1 and every core are identical."

run_rounds "$rounds" "${runs[@]}"

ratio() { awk -v a="${best[$1]}" -v b="${best[$2]}" 'BEGIN { printf "%.2f", a / b }'; }
echo
echo "Least of $rounds rounds, seconds:"
for r in "${runs[@]}"; do printf '  %-8s %.3f\n' "$r" "${best[$r]}"; done
for pair in "every core:stereo:mode2" "-j 1:stereo1:mode21"; do
  IFS=: read -r cores stereo mode2 <<<"$pair"
  v="$(ratio "$stereo" "$mode2")"
  goal="met"; less_than 2.5 "$v" && goal="NOT met"
  printf 'stereo / mode 2, %-12s = %s  (goal <= 2.50: %s)\n' "$cores" "$v" "$goal"
done
printf 'stereo -j 1 / every core      = %s\n' "$(ratio stereo1 stereo)"
printf 'stems / stereo, every core    = %s\n' "$(ratio stems stereo)"
/usr/bin/time -f "%M" -o "$work/mem" "$cli" render --mode stereo "$work/in.wav" "$work/out.wav"
printf 'peak memory, stereo render on every core: %s KB\n' "$(cat "$work/mem")"
