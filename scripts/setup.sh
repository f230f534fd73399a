#!/bin/sh
# Installs what building and testing Tavi needs on Debian 12, when missing.
set -eu

PACKAGES="cmake ninja-build g++ g++-mingw-w64-x86-64-posix googletest libbenchmark-dev
  clang libclang-rt-14-dev locales
  wine wine64 xvfb xauth openbox imagemagick x11-utils"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
