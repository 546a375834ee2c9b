#!/bin/sh
# Measures how much of each public DXF sample Korvo draws: coverage, excess and texts per file, at 1e-3 of the drawing's diagonal.
#
#   bench/dxf_samples/check.sh [KORVO] [more dxf_cover.py options, e.g. --rel-tol 1e-4]
#
# KORVO defaults to build/app/korvo.  The samples are read from $KORVO_DXF_SAMPLES, else from
# the cache that fetch.sh fills (fetched first when it is missing).  Results go to
# $KORVO_DXF_RESULTS (default: the cache's results/ folder): results.tsv (one row a file),
# summary.txt (the corpus: medians, missing length by entity type, excess by cause) and
# detail.json (everything per file).  Needs Debian's python3-ezdxf and python3-numpy.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cache=${KORVO_DXF_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvo-dxf-samples}
korvo=${1:-build/app/korvo}
[ $# -gt 0 ] && shift
case "$korvo" in /*) ;; *) korvo="$(pwd)/$korvo" ;; esac
if [ ! -x "$korvo" ]; then
  echo "check.sh: no Korvo at $korvo (build it: cmake --build build --target korvo)" >&2
  exit 2
fi

samples=${KORVO_DXF_SAMPLES:-$cache/files}
if [ -z "${KORVO_DXF_SAMPLES:-}" ] && ! ls "$samples"/*.dxf >/dev/null 2>&1; then
  "$here/fetch.sh"
fi
results=${KORVO_DXF_RESULTS:-$cache/results}
mkdir -p "$results"

/usr/bin/python3 "$here/dxf_cover.py" --korvo "$korvo" --rel-tol 1e-3 \
  --tsv "$results/results.tsv" --summary "$results/summary.txt" --json "$results/detail.json" \
  "$@" "$samples"
echo "per-file table: $results/results.tsv; corpus summary: $results/summary.txt"
