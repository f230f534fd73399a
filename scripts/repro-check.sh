#!/bin/sh
# Checks that the release is reproducible: two clean clones of the committed
# HEAD, in folders of different names and depths and with a different time
# zone and umask, each make the release with scripts/package.sh; their zips
# must be byte-identical. Prints the sums of both. Two Windows builds of
# Tavi.dll and tavi.exe: a few minutes.
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/repro
rm -rf "$WORK" && mkdir -p "$WORK/deeper/folder"
A=$WORK/a
B=$WORK/deeper/folder/clone-b
git clone -q "$ROOT" "$A"
git clone -q "$ROOT" "$B"
echo "== repro-check: the release of $(git rev-parse --short HEAD) in $A"
(cd "$A" && scripts/package.sh >"$WORK/a.log" 2>&1) || { cat "$WORK/a.log"; exit 1; }
echo "== repro-check: the release of $(git rev-parse --short HEAD) in $B"
(cd "$B" && umask 077 && TZ=Pacific/Auckland scripts/package.sh >"$WORK/b.log" 2>&1) || { cat "$WORK/b.log"; exit 1; }

status=0
for zip in $(cd "$A/dist" && ls ./*.zip | sed 's|^\./||'); do
  sha256sum "$A/dist/$zip" "$B/dist/$zip" | sed "s|$WORK/||"
  cmp -s "$A/dist/$zip" "$B/dist/$zip" || { echo "repro-check: $zip DIFFERS" >&2; status=1; }
done
[ "$status" -eq 0 ] && echo "repro-check: both clones made byte-identical zips"
exit $status
