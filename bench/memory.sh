#!/usr/bin/env bash
# Peak memory of a write job on a 1 GB input, and whether it stays flat while the job
# runs: `zerbex2-cli render` under /usr/bin/time -v, its resident size sampled every
# 50 ms. Goal: peak under 20 MB, the same early in the job as late.
#
#   bench/memory.sh [--minutes M] [--cli PATH]     (default 100 minutes: 1.06 GB)
set -euo pipefail
# shellcheck source=scripts/setup.sh
source "$(dirname "$0")/../scripts/setup.sh"

minutes=100
cli=""
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes="$2"; shift 2 ;;
    --cli) cli="$2"; shift 2 ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "memory.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

# The project's own packages and the tools this script compares with.
install_missing_packages sox time
if [ -z "$cli" ]; then
  configure_and_build "$ZERBEX_BUILD" >/dev/null
  cli="$ZERBEX_BUILD/bin/zerbex2-cli"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/zerbex-memory.XXXXXX")"
trap 'rm -rf "$work"' EXIT

echo "Generating a ${minutes}-minute 44.1 kHz 16-bit stereo file..."
sox -q -r 44100 -c 3 -n -b 16 -c 2 "$work/in.wav" \
  synth "$((minutes * 60))" sine 330 sine 2500 pinknoise \
  remix 1v0.3,2v0.3,3v0.1 1v0.3,3v0.1
echo "Input: $(du -h "$work/in.wav" | cut -f1)"

/usr/bin/time -v -o "$work/time.txt" "$cli" render "$work/in.wav" "$work/out.wav" &
runner=$!
# The render is the time command's child; sample its resident size until it ends.
samples=()
while kill -0 "$runner" 2>/dev/null; do
  pid="$(pgrep -P "$runner" || true)"
  if [ -n "$pid" ] && [ -r "/proc/$pid/status" ]; then
    rss="$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)"
    [ -n "$rss" ] && samples+=("$rss")
  fi
  sleep 0.05
done
wait "$runner"

peak="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")"
elapsed="$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$work/time.txt")"
echo "Elapsed: $elapsed"
printf 'Peak resident size: %d kB (%.1f MB) -- goal under 20 MB: %s\n' "$peak" \
  "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" \
  "$( [ "$peak" -lt $((20 * 1024)) ] && echo met || echo "NOT met")"

count="${#samples[@]}"
if [ "$count" -ge 4 ]; then
  # Flat: the largest sample of the last quarter is no larger than that of the first
  # quarter after start-up, give or take 1 MB.
  quarter=$((count / 4))
  early="$(printf '%s\n' "${samples[@]:1:quarter}" | sort -n | tail -1)"
  late="$(printf '%s\n' "${samples[@]:count-quarter}" | sort -n | tail -1)"
  echo "Resident size sampled $count times: first quarter up to $early kB," \
    "last quarter up to $late kB -- flat: $( [ "$late" -le $((early + 1024)) ] && echo yes || echo NO)"
else
  echo "The job ended before the resident size could be sampled often enough."
fi
