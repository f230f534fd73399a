# Sourced by the scripts that run Windows programs: gives them an X display
# (a private Xvfb with a small window manager, unless one is present) and a
# Wine server that stays up between programs, in the build tree's prefix.
# Expects BUILD_DIR.

tavi_start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${TAVI_FORCE_XVFB:-}" ]; then
    return
  fi
  for n in 91 92 93 94 95 96 97 98 99; do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    TAVI_XVFB_PID=$!
    export DISPLAY=":$n"
    break
  done
  i=0
  while ! xdpyinfo >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -gt 50 ] && { echo "xsession: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  # Without a window manager Wine draws no title bars.
  openbox >/dev/null 2>&1 &
  TAVI_WM_PID=$!
}

tavi_start_wine() {
  export WINEPREFIX="$BUILD_DIR/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "xsession: creating the Wine prefix in $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
  fi
  # A persistent server saves a second or so at every program start.
  wineserver -p >/dev/null 2>&1 || true
  # Start Wine's background services now: started by the first test's
  # program instead, they would hold that test's output pipe open until
  # ctest's time-out.
  wineboot >/dev/null 2>&1 || true
  tavi_keep_wine_desktop
}

# Wine's desktop process (explorer.exe) ends a few seconds after the last
# program of the prefix; the next window's program starts it again, and the
# new desktop inherits that program's output, so whoever waits for the end of
# that output (ctest, a test reading the host's pipe) waits until its time-out.
# A console program that waits for the session keeps the desktop up. The
# server's shutdown ends it.
tavi_keep_wine_desktop() {
  wine cmd /c "ping -n 1000000 127.0.0.1" </dev/null >/dev/null 2>&1 &
}

tavi_stop_session() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  [ -n "${TAVI_WM_PID:-}" ] && kill "$TAVI_WM_PID" 2>/dev/null || true
  [ -n "${TAVI_XVFB_PID:-}" ] && kill "$TAVI_XVFB_PID" 2>/dev/null || true
}
