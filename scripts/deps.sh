#!/bin/sh
# Installs what Korvo needs to build, test and run on Debian 12 (qt6-translations-l10n: Qt's own
# dialogs in Japanese; poppler-utils: the tests look
# at printed PDF pages; libsodium-dev, found with pkg-config: the cryptography of sessions with
# a passphrase); skips what is already there.
set -e
pkgs="build-essential cmake qt6-base-dev libgtest-dev libbenchmark-dev fonts-noto-cjk qt6-translations-l10n poppler-utils libsodium-dev pkg-config"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi
