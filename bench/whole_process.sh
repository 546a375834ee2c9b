#!/bin/sh
# Times two commands as whole processes, in turn (A B A B ...), after one run of each that
# is not counted, and prints the median wall and CPU seconds and peak memory of each and the
# ratios of the medians.
#
#   bench/whole_process.sh [-n RUNS] 'COMMAND A' 'COMMAND B'
#
# The drawings are those of shared/bench/gen_dxf.py (large: 65,900 entities, huge: 997,500).
#   A conversion against the common peer, run in a scratch folder (it writes a PDF beside
#   the drawing):
#     QT_QPA_PLATFORM=offscreen bench/whole_process.sh \
#         'build-rel/app/korvo --convert large.dxf out.dac' 'librecad dxf2pdf -a large.dxf'
#   From the start to the whole drawing on the screen (an X display, Xvfb will do; the
#   switch ends the program at its first full paint):
#     KORVO_FIRST_PAINT_LOG=1 bench/whole_process.sh 'build-rel/app/korvo large.dxf' \
#         'OLD/app/korvo large.dxf'
#   The same output from both builds: bench/same_output.sh.
#
# Needs GNU time (Debian's package "time"). The machine's speed drifts: quote the medians.
set -eu
runs=7
if [ "${1:-}" = "-n" ]; then
    runs=$2
    shift 2
fi
[ $# -eq 2 ] || { echo "usage: $0 [-n RUNS] 'COMMAND A' 'COMMAND B'" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One run: "wall user sys peak-KiB" appended to the file $2.
run() {
    /usr/bin/time -f "%e %U %S %M" -o "$work/one" sh -c "exec $1" >/dev/null 2>&1 || true
    tail -n 1 "$work/one" >>"$2"
}

run "$1" "$work/warm"
run "$2" "$work/warm"
i=0
while [ $i -lt "$runs" ]; do
    run "$1" "$work/a"
    run "$2" "$work/b"
    i=$((i + 1))
done

# The median of one column (1 wall, 2 user, 3 sys, 4 peak, 5 cpu = user + sys).
median() {
    awk -v c="$2" '{ print (c == 5 ? $2 + $3 : $c) }' "$1" | sort -g |
        awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

echo "runs: $runs of each, medians"
for side in a b; do
    name=A
    [ $side = b ] && name=B
    printf '%s wall %s s  cpu %s s  peak %s MiB\n' "$name" "$(median "$work/$side" 1)" \
        "$(median "$work/$side" 5)" "$(awk "BEGIN { printf \"%.1f\", $(median "$work/$side" 4) / 1024 }")"
done
awk -v aw="$(median "$work/a" 1)" -v bw="$(median "$work/b" 1)" -v ac="$(median "$work/a" 5)" \
    -v bc="$(median "$work/b" 5)" 'BEGIN {
        printf "A/B wall %.3f (B/A %.1f)  cpu %.3f (B/A %.1f)\n", aw / bw, bw / aw, ac / bc, bc / ac }'
