#!/bin/sh
# Builds everything and runs all tests: the native core's tests, then the
# Windows build's tests under Wine. Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/setup.sh

echo "== native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

echo "== native tests under AddressSanitizer and UBSan"
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan

echo "== fuzz targets, a short fixed run each"
scripts/fuzz.sh "${TAVI_FUZZ_RUNS:-20000}"

echo "== Windows build (MinGW-w64) and tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows

BUILD_DIR=$ROOT/build/windows
. scripts/xsession.sh
trap tavi_stop_session EXIT INT TERM
tavi_start_display
tavi_start_wine
ctest --preset windows
