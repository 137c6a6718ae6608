#!/bin/sh
# Copies a Windows program with its manifest's activeCodePage element renamed to activeCodePagX
# (same length, opening and closing tag), so that the copy runs in the system's ANSI code page, as
# every Windows before 10 1903 runs the program:
#   without-utf8.sh PROGRAM COPY
# Exactly those two bytes must change: a manifest without the element fails the build.
set -e
mkdir -p "$(dirname "$2")"
LC_ALL=C sed 's/<activeCodePage /<activeCodePagX /; s/<\/activeCodePage>/<\/activeCodePagX>/' "$1" >"$2.new"
changed=$(cmp -l "$1" "$2.new" | wc -l)
if [ "$changed" -ne 2 ]; then
    echo "without-utf8.sh: $1: $changed bytes changed, not the 2 of one activeCodePage element" >&2
    rm -f "$2.new"
    exit 1
fi
mv "$2.new" "$2"
