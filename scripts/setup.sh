#!/bin/sh
# Installs what building, testing and packaging Tavi needs on Debian 12, when
# missing. On a fresh system that is about 270 packages (the compilers,
# MinGW-w64, clang, Wine, Xvfb), about 430 MB to download and 2.2 GB on disk,
# and takes about a minute on a fast connection.
set -eu

PACKAGES="cmake ninja-build g++ g++-mingw-w64-x86-64-posix googletest libbenchmark-dev
  clang libclang-rt-14-dev locales
  wine wine64 xvfb xauth openbox imagemagick x11-utils
  zip unzip"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -n "$missing" ] || exit 0

echo "setup: missing:$missing"
echo "setup: installing them with their dependencies through apt-get (on a fresh Debian 12 about"
echo "setup: 270 packages, 430 MB download, 2.2 GB on disk, a minute or more); apt's progress follows"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
start=$(date +%s)
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
echo "setup: done in $(( $(date +%s) - start )) s"
