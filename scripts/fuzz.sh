#!/bin/sh
# Builds the libFuzzer targets (clang, ASan, UBSan) and runs each for a fixed
# number of inputs, starting from the seed corpus in fuzz/corpus.
# Usage: scripts/fuzz.sh [RUNS] [TARGET...]
#
# Fails when a target crashes, reports a sanitizer error or a leak, runs
# longer than 25 s on one input or past 2 GB of memory. The input that did it
# is kept in build/fuzz/crashes/TARGET/, the full output in
# build/fuzz/TARGET.log, and the command that replays it is printed.
set -eu
cd "$(dirname "$0")/.."
RUNS=${1:-100000}
[ $# -gt 0 ] && shift
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
BIN=build/fuzz/fuzz
targets=${*:-$(cd "$BIN" && ls ./*_fuzz | sed 's|^\./||')}
LIMITS="-timeout=25 -rss_limit_mb=2048"

failed=""
for target in $targets; do
  if [ ! -x "$BIN/$target" ]; then
    echo "fuzz: there is no target $target in $BIN" >&2
    failed="$failed $target"
    continue
  fi
  # libFuzzer adds what it finds to its first corpus folder: a scratch copy.
  work=build/fuzz/corpus-$target
  crashes=build/fuzz/crashes/$target
  log=build/fuzz/$target.log
  rm -rf "$work" "$crashes" && mkdir -p "$work" "$crashes" && cp fuzz/corpus/* "$work"/
  echo "== $target: $RUNS runs"
  status=0
  # shellcheck disable=SC2086
  "$BIN/$target" -runs="$RUNS" -max_len=4096 $LIMITS -artifact_prefix="$crashes/" "$work" >"$log" 2>&1 ||
    status=$?
  # Then every input of the grown corpus once more, as the regression pass.
  # shellcheck disable=SC2086
  [ "$status" -ne 0 ] || "$BIN/$target" -runs=0 $LIMITS -artifact_prefix="$crashes/" "$work" >>"$log" 2>&1 ||
    status=$?
  sed -n -E '/^(Done|==[0-9]+==|SUMMARY)/p' "$log"
  [ "$status" -eq 0 ] && continue

  failed="$failed $target"
  echo "fuzz: $target FAILED (exit status $status); the end of $log:" >&2
  tail -n 40 "$log" >&2
  saved=$(ls "$crashes")
  if [ -n "$saved" ]; then
    for input in $saved; do
      echo "fuzz: $target: input kept in $crashes/$input; replay it with:" >&2
      echo "  $BIN/$target $crashes/$input" >&2
    done
  else
    echo "fuzz: $target: no input was saved; rerun with: $BIN/$target -runs=$RUNS $work" >&2
  fi
done

if [ -n "$failed" ]; then
  echo "fuzz: FAILED:$failed" >&2
  exit 1
fi
