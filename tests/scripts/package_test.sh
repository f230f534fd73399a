#!/bin/sh
# Tests the release that scripts/package.sh left in dist/:
# - linking Tavi.dll again gives the same bytes, and no build folder is
#   written into the binaries or their debug information (the cheap half of
#   the reproducibility check; scripts/repro-check.sh does the full one);
# - the shipped binaries are stripped and the sums hold;
# - unpacked into a folder of its own with a clean Wine prefix, Tavi.dll loads
#   in the test host and converts, and tavi.exe -e converts a file.
set -eu
cd "$(dirname "$0")/../.."
ROOT=$PWD
BUILD=$ROOT/build/windows
VERSION=$(sed -n 's/^#define TAVI_VERSION_TEXT "\(.*\)"$/\1/p' "$BUILD/generated/TaviVersion.h")
MAIN=dist/Tavi-$VERSION-win64.zip
DEBUG=dist/Tavi-$VERSION-win64-debug.zip

failures=0
fail() { echo "package_test: FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "package_test: ok: $*"; }

[ -f "$MAIN" ] && [ -f "$DEBUG" ] || { echo "package_test: no $MAIN or $DEBUG; run scripts/package.sh" >&2; exit 1; }

# Relinked later, from the same objects: the same bytes.
dll=$BUILD/plugin/Tavi.dll
before=$(sha256sum < "$dll")
rm "$dll"
cmake --build "$BUILD" --target Tavi >/dev/null
[ "$(sha256sum < "$dll")" = "$before" ] && pass "Tavi.dll linked twice is the same" ||
  fail "Tavi.dll differs when linked again"

WORK=$ROOT/build/package-test
rm -rf "$WORK" && mkdir -p "$WORK/unpacked"
(cd "$WORK/unpacked" && unzip -q "$ROOT/$MAIN" && unzip -q -o "$ROOT/$DEBUG")
cd "$WORK/unpacked"
sha256sum -c --quiet SHA256SUMS && pass "SHA256SUMS holds for every file" || fail "SHA256SUMS does not hold"
leaked=""
for f in Tavi.dll tavi.exe Tavi.dll.debug tavi.exe.debug; do
  if grep -F -q -a "$ROOT/" "$f"; then leaked="$leaked $f"; fi
done
[ -z "$leaked" ] && pass "no build folder in the binaries and their debug information" ||
  fail "the build folder $ROOT/ is written in:$leaked"
for f in Tavi.dll tavi.exe; do
  if x86_64-w64-mingw32-objdump -h "$f" | grep -q -E '\.debug_|\.symtab'; then fail "$f is not stripped"; fi
done
x86_64-w64-mingw32-addr2line -f -e Tavi.dll.debug \
  "$(x86_64-w64-mingw32-nm Tavi.dll.debug | sed -n 's/^\([0-9a-f]*\) T ScrivlexPlugInDoWork$/0x\1/p')" |
  grep -q '^plugin/Tavi.cpp:\|^\./plugin/Tavi.cpp:' && pass "addr2line finds ScrivlexPlugInDoWork's source line" ||
  fail "addr2line on Tavi.dll.debug gives no source line for ScrivlexPlugInDoWork"
rm Tavi.dll.debug tavi.exe.debug
cd "$ROOT"

# A clean Wine prefix of its own, so nothing from the build tree's helps.
cmake --build "$BUILD" --target scrivlex-host >/dev/null
BUILD_DIR=$WORK
. scripts/xsession.sh
trap tavi_stop_session EXIT INT TERM
tavi_start_display
tavi_start_wine

printf '<p>Gr\303\266\303\237e: 5 \342\202\254</p>\n' > "$WORK/page.html"
expected='<p>Gr&ouml;&szlig;e: 5 &euro;</p>'

status=0
out=$(wine "$BUILD/host/scrivlex-host.exe" --print-result --script "click:Sonderzeichen; click:Beenden" \
  "Z:$WORK/unpacked/Tavi.dll" "Z:$WORK/page.html" 2>&1) || status=$?
if [ "$status" -eq 0 ] && echo "$out" | grep -q -F "$expected"; then
  pass "the unpacked Tavi.dll loads in the test host and converts"
else
  fail "the unpacked Tavi.dll in the test host (exit status $status):"; echo "$out" >&2
fi

status=0
out=$(wine "$WORK/unpacked/tavi.exe" -e "Z:$WORK/page.html" 2>&1) || status=$?
if [ "$status" -eq 0 ] && echo "$out" | grep -q -F "$expected"; then
  pass "the unpacked tavi.exe -e converts a file"
else
  fail "the unpacked tavi.exe -e (exit status $status):"; echo "$out" >&2
fi

[ "$failures" -eq 0 ] || { echo "package_test: $failures check(s) failed" >&2; exit 1; }
echo "package_test: the release is sound"
