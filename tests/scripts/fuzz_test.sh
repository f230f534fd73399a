#!/bin/sh
# Tests scripts/fuzz.sh: a crash fails it, names the target, keeps the input
# under build/fuzz/crashes/TARGET/ and prints a command that replays it; a
# target without findings passes.
set -eu
cd "$(dirname "$0")/../.."

fail() {
  echo "fuzz_test: FAIL: $*; the script's output:" >&2
  cat "$out" >&2
  exit 1
}

out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
scripts/fuzz.sh 2000000 Trap_selftest >"$out" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "fuzz.sh exited 0 on a target that traps"
grep -q "FAILED: Trap_selftest" "$out" || fail "fuzz.sh did not name the failed target"
input=$(ls build/fuzz/crashes/Trap_selftest/crash-* 2>/dev/null | head -n 1)
[ -n "$input" ] || fail "no crash input in build/fuzz/crashes/Trap_selftest/"
[ "$(head -c 3 "$input")" = bug ] || fail "the kept input does not start with \"bug\": $input"
replay=$(grep -A1 "replay it with:" "$out" | sed -n 2p)
[ -n "$replay" ] || fail "fuzz.sh printed no replay command"
status=0
$replay >/dev/null 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "the printed replay command does not crash: $replay"
echo "fuzz_test: a trap fails fuzz.sh and is kept: $input (replay exit status $status)"

scripts/fuzz.sh 500 HTMTools_fuzz >"$out" 2>&1 || fail "fuzz.sh failed a short clean run of HTMTools_fuzz"
echo "fuzz_test: a clean run passes"
