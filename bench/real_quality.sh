#!/usr/bin/env bash
# Vocal removal on songs that sound like records: makes six songs of about 25 s from separate
# stems (bench/quality/make_songs.py: General MIDI instruments rendered by FluidSynth with its
# reverb and chorus, a formant-synthesised sung lead with its own stereo reverb, backing
# vocals on one song, leads off-centre on two), then measures the stereo mode at its
# suggestion, mode 2 at its suggestion, a channel difference aimed at the lead's true pan and
# the input, part by part (build/bin/real_bench), and draws the figures song by song.
#
#   bench/real_quality.sh [--out DIR] [--variant N] [REAL_BENCH_OPTIONS...]
#       (default DIR: build/bench; the songs land in DIR/real-songs, the PNG beside them;
#        --variant N: six other songs of the same kinds in DIR/real-songs-vN, to check a
#        tuning on songs it has not seen; options such as --stereo-only --pan P --low L
#        --high H --focus F go to real_bench)
#
# The songs are made once (about a minute each) and kept until the song maker changes; the
# measure alone is `build/bin/real_bench [--stereo-only] DIR/real-songs` (seconds).
# Exit status 0 when the stereo mode meets its goals on every song.
set -euo pipefail
# shellcheck source=scripts/setup.sh
source "$(dirname "$0")/../scripts/setup.sh"

# Only this bench needs these; the program does not.
BENCH_PACKAGES=(fluidsynth fluid-soundfont-gm sox python3)

out="$ZERBEX_BUILD/bench"
variant=0
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out="$2"; shift 2 ;;
    --variant) variant="$2"; shift 2 ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) args+=("$1"); shift ;;
  esac
done

install_missing_packages "${BENCH_PACKAGES[@]}"
build_targets "$ZERBEX_BUILD" real_bench >/dev/null
songs="$out/real-songs"
[ "$variant" = 0 ] || songs="$out/real-songs-v$variant"
# Made again only when the song maker changed since: it gives the same bytes every time.
maker="$ZERBEX_ROOT/bench/quality/make_songs.py"
stamp="$(sha256sum "$maker" | cut -d' ' -f1)"
if [ "$(cat "$songs/.made-by" 2>/dev/null || true)" != "$stamp" ]; then
  mkdir -p "$songs"
  python3 "$maker" --variant "$variant" "$songs"
  echo "$stamp" >"$songs/.made-by"
fi
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
"$ZERBEX_BUILD/bin/real_bench" --out "$out" "${args[@]}" "$songs"
