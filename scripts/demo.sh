#!/bin/sh
# Runs Tavi.dll in the test host scrivlex-host.exe on the bundled German
# sample page, under Wine. Installs what is missing and builds first.
#
# Without a display: a private Xvfb with a window manager; the dialog is
# driven through "Sonderzeichen" and "Komprimieren", every message box and
# the resulting text are printed, and a screenshot of the dialog is written
# to build/windows/demo.png.
# With a display (DISPLAY set): the dialog opens there for you to use; the
# text it hands back is printed when you close it.
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/setup.sh

# TAVI_BUILD_DIR puts the build elsewhere (default build/windows).
BUILD_DIR=${TAVI_BUILD_DIR:-$ROOT/build/windows}
echo "== building Tavi.dll and scrivlex-host.exe (MinGW-w64) in $BUILD_DIR"
cmake --preset windows -B "$BUILD_DIR" >/dev/null
cmake --build "$BUILD_DIR" --target Tavi scrivlex-host

HOST=$BUILD_DIR/host/scrivlex-host.exe
# Wine sees the Linux file system as drive Z:.
PLUGIN=Z:$BUILD_DIR/plugin/Tavi.dll
DOCUMENT=Z:$ROOT/samples/beispiel.html
RESULT=$BUILD_DIR/demo-result.html
SHOT=$BUILD_DIR/demo.png

interactive=""
[ -n "${DISPLAY:-}" ] && interactive=1

. scripts/xsession.sh
trap tavi_stop_session EXIT INT TERM
tavi_start_display
tavi_start_wine

rm -f "$RESULT"
status=0
if [ -n "$interactive" ]; then
  echo "== the dialog is open on $DISPLAY; close it with \"Beenden\""
  wine "$HOST" --output "Z:$RESULT" "$PLUGIN" "$DOCUMENT" || status=$?
else
  rm -f "$SHOT"
  echo "== the plug-in on samples/beispiel.html, driven headless"
  wine "$HOST" --output "Z:$RESULT" --script \
    "state; layout; click:Sonderzeichen; click:Komprimieren; state; shot:Z:$SHOT; click:Beenden" \
    "$PLUGIN" "$DOCUMENT" || status=$?
fi

if [ -f "$RESULT" ]; then
  echo "== resulting text ($RESULT)"
  cat "$RESULT"
  echo
fi
[ -z "$interactive" ] && [ -f "$SHOT" ] && echo "== screenshot: $SHOT"
exit $status
