#!/bin/sh
# Converts drawings with two builds of korvo and compares the dac files byte for byte.
#
#   bench/same_output.sh OLD_KORVO NEW_KORVO FILE...
#
# A dac file holds every line and circle with its slot and style, every text and every
# snap point slot (kind, owners, coordinates): equal files mean the same stored drawing
# and the same snap points. Each input is also written back as DXF by both builds and
# compared. Exit status 0 when every file gives the same bytes (or fails alike).
set -u
[ $# -ge 3 ] || { echo "usage: $0 OLD_KORVO NEW_KORVO FILE..." >&2; exit 2; }
old=$1
new=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
status=0
for f in "$@"; do
    for ext in dac dxf; do
        "$old" --convert "$f" "$work/old.$ext" >"$work/old.log" 2>&1
        a=$?
        "$new" --convert "$f" "$work/new.$ext" >"$work/new.log" 2>&1
        b=$?
        if [ $a -ne $b ]; then
            echo "DIFFERENT exit status ($a, $b): $f -> $ext"
            status=1
        elif ! cmp -s "$work/old.log" "$work/new.log"; then
            echo "DIFFERENT messages: $f -> $ext"
            status=1
        elif [ $a -eq 0 ] && ! cmp -s "$work/old.$ext" "$work/new.$ext"; then
            echo "DIFFERENT bytes: $f -> $ext"
            status=1
        else
            size=$( [ $a -eq 0 ] && wc -c <"$work/new.$ext" || echo "-" )
            echo "same (exit $a, $size bytes): $f -> $ext"
        fi
        rm -f "$work/old.$ext" "$work/new.$ext"
    done
done
exit $status
