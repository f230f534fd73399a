#!/bin/sh
# Builds everything and runs all tests: the native core's tests, the same
# under the sanitizers, the fuzz targets, then the Windows build's tests under
# Wine. Installs what is missing first. Stops at the first step that fails and
# ends with one line naming it and the steps that did not run; the exit
# status is that step's.
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/setup.sh

step_native() {
  echo "== native build and tests"
  cmake --preset native >/dev/null
  cmake --build --preset native
  ctest --preset native
}

step_asan() {
  echo "== native tests under AddressSanitizer and UBSan"
  cmake --preset native-asan >/dev/null
  cmake --build --preset native-asan
  ctest --preset native-asan
}

step_fuzz() {
  echo "== fuzz targets, a short fixed run each"
  scripts/fuzz.sh "${TAVI_FUZZ_RUNS:-20000}"
}

step_fuzz_script() {
  echo "== scripts/fuzz.sh fails on a crash"
  tests/scripts/fuzz_test.sh
}

step_windows() {
  echo "== Windows build (MinGW-w64) and tests under Wine"
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  BUILD_DIR=$ROOT/build/windows
  . scripts/xsession.sh
  trap tavi_stop_session EXIT INT TERM
  tavi_start_display
  tavi_start_wine
  ctest --preset windows
}

STEPS="native asan fuzz fuzz_script windows"
done_steps=""
for step in $STEPS; do
  # A subshell of its own, outside any condition, so that set -e stops the
  # step at its first failing command.
  set +e
  (set -e; "step_$step")
  status=$?
  set -e
  if [ "$status" -ne 0 ]; then
    not_run="" after=""
    for s in $STEPS; do
      [ -n "$after" ] && not_run="${not_run:+$not_run }$s"
      [ "$s" = "$step" ] && after=1
    done
    echo "test.sh: FAILED in step '$step' (exit status $status); not run: ${not_run:-none}; passed: ${done_steps:-none}"
    exit "$status"
  fi
  done_steps="${done_steps:+$done_steps }$step"
done
echo "test.sh: all steps passed: $done_steps"
