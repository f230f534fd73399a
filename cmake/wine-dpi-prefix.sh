#!/bin/sh
# Gives the tests a Wine prefix whose screen has another DPI (LogPixels),
# beside the build tree's own: "start DIR DPI" makes DIR from the build's
# prefix (a copy is much faster than a new prefix), sets its DPI and starts
# its server and services; "stop DIR" ends that server. Wine reads LogPixels
# only when its server starts, hence a prefix, and a server, per DPI.
set -eu
action=$1
prefix=$2
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
  start)
    dpi=$3
    base=$(dirname "$prefix")/wineprefix
    if [ ! -f "$prefix/system.reg" ]; then
      rm -rf "$prefix"
      if [ -f "$base/system.reg" ]; then
        cp -a "$base" "$prefix"
      else
        wineboot -i >/dev/null 2>&1 || true
      fi
    fi
    wineserver -k >/dev/null 2>&1 || true
    # Both places Wine looks; the user's value wins where both are set.
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
      /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    # The new value is read by the next server; its services started now, so
    # that no test's program starts them and holds its output open.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1
    wineboot >/dev/null 2>&1 || true
    # Keeps this prefix's desktop up until "stop" (see scripts/xsession.sh).
    wine cmd /c "ping -n 1000000 127.0.0.1" </dev/null >/dev/null 2>&1 &
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: wine-dpi-prefix.sh start DIR DPI | stop DIR" >&2
    exit 2
    ;;
esac
