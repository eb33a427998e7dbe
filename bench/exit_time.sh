#!/usr/bin/env bash
# How soon the program ends after its window is closed while it plays. The real program runs
# on a virtual display and plays through ALSA's default device, paced at a sound card's rate
# (the tests' paced_sink); xdotool presses Alt+2 (play mode 2), then Escape (the window's
# Exit) two seconds later. Printed for each run: the close to the window's end and to the
# process's end.
#
# Usage: bench/exit_time.sh [BUILD_DIR] [RUNS]   (needs xvfb-run, xdotool, python3)
set -euo pipefail

build="$(realpath -m "${1:-build}")"
runs="${2:-5}"
bench="$(cd "$(dirname "$0")" && pwd)"
program="$build/bin/zerbex2"
sink="$build/bin/paced_sink"
for f in "$program" "$sink"; do
  [ -x "$f" ] || { echo "missing $f: build zerbex2 and paced_sink first" >&2; exit 1; }
done
for tool in xvfb-run xdotool python3; do
  command -v "$tool" >/dev/null || { echo "exit_time: $tool is missing" >&2; exit 1; }
done

if [ -z "${ZERBEX_EXIT_TIME_INNER:-}" ]; then
  export ZERBEX_EXIT_TIME_INNER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$runs"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$bench/make_test_wav.py" "$work/in.wav" 30
cat > "$work/asound.conf" <<CONF
pcm.!default {
  type file
  slave { pcm { type null } }
  file "|exec $sink $work/capture.raw 176400"
  format "raw"
}
CONF
title="(Zerbex 2声乐消除工作站|Zerbex 2 Vocal Removal Workstation)"
now() { date +%s.%N; }

for run in $(seq "$runs"); do
  mkdir -p "$work/config"
  ALSA_CONFIG_PATH="$work/asound.conf" XDG_CONFIG_HOME="$work/config" \
    XDG_CACHE_HOME="$work/cache" "$program" "$work/in.wav" 2>"$work/stderr" &
  pid=$!
  window=""
  for _ in $(seq 100); do
    window="$(xdotool search --name "^${title}\$" 2>/dev/null | head -n1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "exit_time: the window did not appear" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  sleep 0.5
  xdotool windowfocus --sync "$window" key alt+2
  sleep 2
  rm -f "$work/capture.raw.size"
  stat -c %s "$work/capture.raw" >"$work/capture.raw.size" 2>/dev/null || echo 0 >"$work/capture.raw.size"
  t0=$(now)
  xdotool key --window "$window" Escape
  gone=""
  while kill -0 "$pid" 2>/dev/null; do
    if [ -z "$gone" ] && ! xdotool search --name "^${title}\$" >/dev/null 2>&1; then
      gone=$(now)
    fi
    sleep 0.01
  done
  t1=$(now)
  status=0
  wait "$pid" || status=$?
  [ -n "$gone" ] || gone=$t1
  python3 - "$t0" "$gone" "$t1" "$status" "$(cat "$work/capture.raw.size")" <<'PY'
import sys
t0, gone, t1 = (float(v) for v in sys.argv[1:4])
heard = int(sys.argv[5]) / 176400
print(f"run: {heard:.2f} s heard before the close; window gone {gone - t0:.3f} s, "
      f"process ended {t1 - t0:.3f} s after it (exit status {sys.argv[4]})")
PY
  rm -rf "$work/config" "$work/capture.raw"
done
