#!/bin/sh
# Runs a Windows program under Wine in the build tree's own prefix, never ~/.wine.
# The prefix is found from the nearest CMakeCache.txt above the working
# directory, which is where ctest starts each test.
if [ -z "$WINEPREFIX" ]; then
  dir=$PWD
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || { echo "wine-run: no build tree above $PWD" >&2; exit 2; }
  WINEPREFIX=$dir/wineprefix
fi
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
# Skip the Mono and Gecko installers: the tests need neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -z "$DISPLAY" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" wine "$@"
fi
exec wine "$@"
