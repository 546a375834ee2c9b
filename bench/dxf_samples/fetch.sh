#!/bin/sh
# Fetches the public DXF samples named in samples.tsv (npm and Debian packages at pinned versions) into a cache folder and lists them.
#
#   bench/dxf_samples/fetch.sh            fills ~/.cache/korvo-dxf-samples/files
#   KORVO_DXF_CACHE=DIR fetch.sh          uses DIR instead of ~/.cache/korvo-dxf-samples
#
# Needs the network (the npm registry and Debian's archive), npm, apt-get and dpkg-deb.
# Every file is checked against its SHA-256 in samples.tsv, so a figure measured today is
# measured on the same bytes tomorrow.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cache=${KORVO_DXF_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/korvo-dxf-samples}
pkgs="$cache/packages"
files="$cache/files"
mkdir -p "$pkgs" "$files"
rm -f "$files"/*.dxf   # only what samples.tsv lists
tab=$(printf '\t')

# one folder per package: packages/npm_dxf@3.1.4/package/..., packages/deb_openscad=2021.01-6/usr/...
unpack() {
  src=$1
  dir="$pkgs/$(printf '%s' "$src" | tr ':/' '__')"
  [ -f "$dir/.done" ] && return 0
  rm -rf "$dir" && mkdir -p "$dir"
  case "$src" in
    npm:*)
      wanted=${src#npm:}
      tgz=$(cd "$dir" && npm pack "$wanted" --silent 2>/dev/null | tail -n 1)
      [ -n "$tgz" ] && [ -f "$dir/$tgz" ] || { echo "fetch.sh: npm pack $wanted failed" >&2; exit 1; }
      tar -xzf "$dir/$tgz" -C "$dir"
      ;;
    deb:*)
      wanted=${src#deb:}
      (cd "$dir" && apt-get download "$wanted" >/dev/null 2>"$dir/apt.log") || {
        cat "$dir/apt.log" >&2
        echo "fetch.sh: apt-get download $wanted failed (run apt-get update, or the version is gone)" >&2
        exit 1
      }
      dpkg-deb -x "$dir"/*.deb "$dir"
      ;;
    *)
      echo "fetch.sh: unknown source $src" >&2
      exit 1
      ;;
  esac
  touch "$dir/.done"
}

count=0
bad=0
while IFS="$tab" read -r src path name sum prog; do
  case "$src" in ''|'#'*) continue ;; esac
  unpack "$src"
  dir="$pkgs/$(printf '%s' "$src" | tr ':/' '__')"
  if [ ! -f "$dir/$path" ]; then
    echo "fetch.sh: $src has no $path" >&2
    bad=$((bad + 1))
    continue
  fi
  cp "$dir/$path" "$files/$name"
  got=$(sha256sum "$files/$name" | cut -d' ' -f1)
  if [ "$got" != "$sum" ]; then
    echo "fetch.sh: $name differs from the pinned file (sha256 $got)" >&2
    rm -f "$files/$name"
    bad=$((bad + 1))
    continue
  fi
  count=$((count + 1))
  printf '%-36s %9s  %s  (%s)\n' "$name" "$(wc -c < "$files/$name")" "$prog" "$src"
done < "$here/samples.tsv"

echo "$count files in $files"
[ "$bad" -eq 0 ] || { echo "fetch.sh: $bad files missing or changed" >&2; exit 1; }
