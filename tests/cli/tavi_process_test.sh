#!/bin/sh
# tavi as a process: pipes, exit status and files on disk.
# Usage: tavi_process_test.sh WORKDIR TAVI [EMULATOR...]
set -u
work=$1; shift
mkdir -p "$work" && cd "$work" || exit 2
rm -f ./*.html
failures=0
check() {  # name expected actual
  if [ "$2" != "$3" ]; then
    echo "FAIL $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}

out=$(printf 'K\303\266ln  <b>\342\202\254</b>' | "$@" -ec 2>err.txt); status=$?
check "stdin to stdout" "K&ouml;ln <b>&euro;</b>" "$out"
check "stdin status" 0 "$status"
check "messages" "2 Sonderzeichen konvertiert.
Komprimierung beendet." "$(tr -d '\r' < err.txt)"

out=$(printf 'ab\303(' | "$@" -e 2>err.txt); status=$?
check "invalid input status" 2 "$status"
check "invalid input writes nothing" "" "$out"
grep -q "at byte offset 3" err.txt; check "offset named" 0 $?

printf '<p>plain</p>' > same.html
touch -d '2020-01-02 03:04:05' same.html
printf '<p>\303\244</p>' > changed.html
printf '<script>  x' > stopped.html
"$@" -ec -i same.html changed.html stopped.html 2>err.txt; status=$?
check "worst status is the section stop" 1 "$status"
check "unchanged file untouched" "2020-01-02 03:04:05" "$(date -r same.html '+%Y-%m-%d %H:%M:%S')"
check "changed file rewritten" "<p>&auml;</p>" "$(cat changed.html)"
check "stopped file left" "<script>  x" "$(cat stopped.html)"
check "no temporary files left" "changed.html same.html stopped.html" "$(ls *.html | tr '\n' ' ' | sed 's/ $//')"

[ "$failures" -eq 0 ]
