#!/bin/sh
# tavi as a process: pipes, exit status and files on disk.
# Usage: tavi_process_test.sh WORKDIR TAVI [EMULATOR...]
set -u
work=$1; shift
mkdir -p "$work" && cd "$work" || exit 2
rm -rf ./*.html site
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

# A folder: an error without -r, a sorted walk with it, --check's list.
mkdir -p site/sub site/.git
printf '\303\244' > site/b.html
printf '<p>  x</p>' > site/sub/a.htm
printf 'plain' > site/c.html
printf '\303\244' > site/.git/d.html
printf '\303\244' > site/notes.txt
"$@" -e -i site 2>err.txt; status=$?
check "folder without -r" 2 "$status"
check "folder message" "tavi: site: is a folder; use -r" "$(tr -d '\r' < err.txt)"
out=$("$@" -ec --check -r site 2>err.txt | tr -d '\r'); status=$?
check "check lists the pages to change" "site/b.html
site/sub/a.htm" "$out"
"$@" -ec --check -r site >/dev/null 2>&1; check "check status" 1 $?
check "check writes nothing" "$(printf '\303\244')" "$(cat site/b.html)"
"$@" -ec -i -r -j 2 site 2>err.txt; status=$?
check "folder in place" 0 "$status"
check "folder messages in order" "site/b.html: 1 Sonderzeichen konvertiert.
site/c.html: 0 Sonderzeichen konvertiert.
site/sub/a.htm: 0 Sonderzeichen konvertiert.
Komprimierung beendet." "$(tr -d '\r' < err.txt)"
check "pages converted" "&auml; <p> x</p>" "$(cat site/b.html) $(cat site/sub/a.htm)"
check "hidden folder and other files left" "$(printf '\303\244 \303\244')" "$(cat site/.git/d.html) $(cat site/notes.txt)"
"$@" -ec --check -r site >/dev/null 2>&1; check "converted site passes the check" 0 $?

[ "$failures" -eq 0 ]
