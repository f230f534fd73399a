#!/bin/sh
# Builds the libFuzzer targets (clang, ASan, UBSan) and runs each for a fixed
# number of inputs, starting from the seed corpus in fuzz/corpus.
# Usage: scripts/fuzz.sh [RUNS] [TARGET...]
set -eu
cd "$(dirname "$0")/.."
RUNS=${1:-100000}
[ $# -gt 0 ] && shift
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
targets=${*:-$(cd build/fuzz/fuzz && ls ./*_fuzz | sed 's|./||')}
for target in $targets; do
  # libFuzzer adds what it finds to its first corpus folder: a scratch copy.
  work=build/fuzz/corpus-$target
  rm -rf "$work" && mkdir -p "$work" && cp fuzz/corpus/* "$work"/
  echo "== $target: $RUNS runs"
  build/fuzz/fuzz/"$target" -runs="$RUNS" -max_len=4096 "$work" 2>&1 | grep -E '^(Done|==[0-9]+==|SUMMARY)' || true
  build/fuzz/fuzz/"$target" -runs=0 "$work" >/dev/null 2>&1
done
