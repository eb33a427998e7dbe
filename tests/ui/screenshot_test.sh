#!/usr/bin/env bash
# Runs scripts/screenshot on the built program, started with a file as the desktop starts it,
# into a temporary folder, and checks that the program ended normally on Escape and that
# the picture shows a window, not a blank rectangle.
#   screenshot_test.sh SCREENSHOT_SCRIPT PROGRAM FILE
set -euo pipefail
script="$1"
program="$2"
file="$3"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
picture="$dir/main-window.png"

"$script" "$picture" "$program" "$file"

read -r width height colours deviation < <(identify -format '%w %h %k %[fx:standard_deviation]\n' "$picture")
echo "picture ${width}x${height}, ${colours} colours, standard deviation ${deviation}"
[ "$width" -ge 600 ] && [ "$height" -ge 380 ] || { echo "window too small" >&2; exit 1; }
[ "$colours" -ge 200 ] || { echo "too few colours: blank picture?" >&2; exit 1; }
awk -v d="$deviation" 'BEGIN { exit !(d > 0.05) }' || { echo "picture is nearly flat" >&2; exit 1; }
