#!/usr/bin/env bash
# The built English manual opens as a PDF, holds every chapter heading of its source and names
# no caption in Chinese.
set -euo pipefail
pdf="$1"
source="$2"
# Typeset ligatures (fi, fl, ff) come back as single characters: unfold them.
text=$(pdftotext "$pdf" - | sed "s/ﬁ/fi/g; s/ﬂ/fl/g; s/ﬀ/ff/g")
status=0
while IFS= read -r heading; do
  if ! grep -qF -- "$heading" <<<"$text"; then
    echo "missing heading: $heading"
    status=1
  fi
done < <(sed -n 's/^#\{1,2\} //p' "$source")
# The English manual names the captions the English window shows, none in Chinese.
if grep -qP '[\x{4e00}-\x{9fff}]' <<<"$text"; then
  echo "Chinese text in the English manual:"
  grep -P '[\x{4e00}-\x{9fff}]' <<<"$text" | head -3
  status=1
fi
pages=$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')
echo "$pages pages"
[ "$pages" -ge 2 ] || { echo "too short"; status=1; }
exit $status
