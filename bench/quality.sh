#!/usr/bin/env bash
# Vocal-removal quality: renders two espeak-ng voices, builds the benchmark's songs from
# stems around them, measures every mode, a grid of settings, the suggested settings, sox
# and an FFmpeg chain (build/bin/quality_bench), the grid's best settings over every song
# and the shipped presets, the stereo mode aimed by its suggestion against mode 2's setting
# that removes the most in the same band (vocal removed, instruments' SDR, bass, treble, the
# centre kept in band, the vocal file's SDR), draws removal against the pan and level
# trackbars and the stereo mode's against its aim and focus, and times `zerbex2-cli suggest`
# on a 10-minute song.
#
#   bench/quality.sh [--out DIR]        (default: build/quality; the PNG lands there)
#
# Exit status 0 when the suggestion meets its goals: on average 6 dB more of the vocal
# removed than the start-up positions, within 2 dB of the grid's best vocal-to-instrument
# gain on every song, an answer within 2 s on the 10-minute song, and the stereo mode's goals
# on the dry vocals (removal within 1 dB of mode 2's, instruments' SDR 2.5 dB better, bass
# and treble within 1 dB, the centre in band within 12 dB, the vocal file's SDR 8 dB).
set -euo pipefail
# shellcheck source=scripts/setup.sh
source "$(dirname "$0")/../scripts/setup.sh"

out="$ZERBEX_BUILD/quality"
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out="$2"; shift 2 ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "quality.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

install_missing_packages espeak-ng sox ffmpeg
configure_and_build "$ZERBEX_BUILD" >/dev/null
mkdir -p "$out"

# Two voices, sung rather than spoken: slow, with wide pitch movement.
espeak-ng -v en-us+m3 -s 120 -p 45 -a 150 -w "$out/voice1.wav" \
  "Walking down the river, under silver skies, every little story opens up your eyes"
espeak-ng -v en-gb+f3 -s 110 -p 60 -a 150 -w "$out/voice2.wav" \
  "Hold me in the morning, sing me through the night, all the winding roads will lead us to the light"

status=0
"$ZERBEX_BUILD/bin/quality_bench" --out "$out" "$out/voice1.wav" "$out/voice2.wav" || status=1

# Fifty repetitions of the 12-second song: ten minutes.
sox -q "$out/song-centred.wav" "$out/song-10min.wav" repeat 49
start=$(date +%s.%N)
"$ZERBEX_BUILD/bin/zerbex2-cli" suggest "$out/song-10min.wav"
end=$(date +%s.%N)
read -r load1 _ </proc/loadavg
if ! awk -v s="$start" -v e="$end" -v load="$load1" 'BEGIN {
       printf "suggest on a 10-minute song: %.3f s (goal <= 2), load average %s\n", e - s, load
       exit !(e - s <= 2) }'; then
  status=1
fi
rm -f "$out/song-10min.wav"
exit $status
