#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a desktop and a user meet it:
# every file in place, the desktop entry, metadata and manual pages clean in their validators
# (each skipped when it is not installed), and the installed programs starting.
#   check_install.sh BUILD_DIR APP_ID VERSION WAV
set -euo pipefail
build="$1"
id="$2"
version="$3"
wav="$4"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

cmake --install "$build" --prefix "$prefix" >/dev/null

desktop="$prefix/share/applications/$id.desktop"
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
pages=("$prefix/share/man/man1/zerbex2.1.gz" "$prefix/share/man/man1/zerbex2-cli.1.gz")
expected=("$prefix/bin/zerbex2" "$prefix/bin/zerbex2-cli" "$desktop" "$metainfo" "${pages[@]}"
  "$prefix/share/doc/zerbex2/zerbex2manual.pdf" "$prefix/share/doc/zerbex2/zerbex2manual-zh.pdf"
  "$prefix/share/doc/zerbex2/copyright")
for f in "${expected[@]}"; do
  [ -s "$f" ] || fail "missing: ${f#"$prefix"/}"
done
for size in 16 24 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
  file -b "$icon" | grep -q "^PNG image data, $size x $size," || fail "no ${size} px icon: $(file -b "$icon")"
done

# The entry starts the installed program and names the installed icon; the metadata
# launches the entry and states the program's version.
exec_line="$(sed -n 's/^Exec=//p' "$desktop")"
[ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not an installed program"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry does not name the icon $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "the metadata does not launch $id.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "no release $version in the metadata"

if command -v desktop-file-validate >/dev/null; then
  out="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate failed"
  [ -z "$out" ] || fail "desktop-file-validate: $out"
else
  echo "skipped: desktop-file-validate is not installed"
fi
if command -v appstreamcli >/dev/null; then
  # --strict: an error, a warning or even a hint fails.
  out="$(appstreamcli validate --no-net --strict "$metainfo" 2>&1)" || fail "appstreamcli: $out"
else
  echo "skipped: appstreamcli is not installed"
fi
if command -v man >/dev/null; then
  for page in "${pages[@]}"; do
    out="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
    [ -z "$out" ] || fail "man --warnings ${page##*/}: $out"
  done
else
  echo "skipped: man is not installed"
fi

[ "$("$prefix/bin/zerbex2-cli" --version)" = "zerbex2-cli $version" ] || fail "zerbex2-cli --version"
[ "$("$prefix/bin/zerbex2" --version)" = "zerbex2 $version" ] || fail "zerbex2 --version"
# The installed tool finds its codec module: it writes FLAC and reads it back, as many
# frames as the WAV holds.
cli="$prefix/bin/zerbex2-cli"
if "$cli" render "$wav" "$prefix/a.flac" && "$cli" render "$prefix/a.flac" "$prefix/b.wav" &&
  "$cli" render "$wav" "$prefix/c.wav"; then
  [ "$(head -c 4 "$prefix/a.flac")" = fLaC ] || fail "a.flac is no FLAC file"
  [ "$(stat -c %s "$prefix/b.wav")" = "$(stat -c %s "$prefix/c.wav")" ] ||
    fail "the FLAC read back does not hold the WAV's frames"
else
  fail "zerbex2-cli cannot write or read FLAC as installed"
fi
# Anything but FILE, --help, --version and Qt's own options is refused before a window
# opens, without a display.
set +e
err="$(DISPLAY= WAYLAND_DISPLAY= "$prefix/bin/zerbex2" --bogus 2>&1 >/dev/null)"
code=$?
set -e
[ "$code" -eq 2 ] && grep -q '^Usage: zerbex2 \[FILE\]' <<<"$err" || fail "zerbex2 --bogus: $code $err"
version="$("$prefix/bin/zerbex2" -platform offscreen -style Fusion --version)" ||
  fail "zerbex2 with Qt's options"
[[ "$version" == "zerbex2 "* ]] || fail "zerbex2 -platform offscreen --version: $version"
exit "$status"
