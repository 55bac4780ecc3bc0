#!/bin/sh
# The manual's PDF tool: the manual sets into a PDF with all its pictures, and
# a text that names a picture which is not there fails the run, says which,
# and leaves no file behind, so that a build never passes with a hole in the
# manual.
# Usage: check_manual_pdf.sh TOOL MANUAL.md
set -eu
tool=$1
manual=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

"$tool" "$manual" "$work/manual.pdf" 2>/dev/null
if [ "$(head -c 5 "$work/manual.pdf")" != "%PDF-" ]; then
    echo "FAIL: $manual did not become a PDF"
    exit 1
fi

printf '# Title\n\nText.\n\n![A picture](no-such-picture.png)\n' > "$work/broken.md"
if "$tool" "$work/broken.md" "$work/broken.pdf" 2>"$work/stderr"; then
    echo "FAIL: a missing picture passed"
    exit 1
fi
if ! grep -q 'no-such-picture.png' "$work/stderr"; then
    echo "FAIL: the message does not name the missing picture"
    exit 1
fi
if [ -e "$work/broken.pdf" ]; then
    echo "FAIL: a failed run left a PDF behind"
    exit 1
fi
echo "ok"
