#!/bin/sh
# Times the tavi program as a whole process on generated pages: one 10 MB
# page with -c, and a site of 1,000 pages (about 50 MB) with -ec -i -r at
# -j 1 and -j 2. Prints the median wall time, the processor time (user +
# system) and the peak resident memory of each; then the site again with
# --check, which does the same work but writes nothing. Build the bench preset first.
# Usage: bench/tavi_bench.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-9}
bin=build/bench
data=$bin/data
mkdir -p "$data"
[ -f "$data/page10.html" ] || "$bin/bench/tavi_pages" page "$data/page10.html" 10

# measure NAME SETUP COMMAND...: SETUP runs untimed before each run.
measure() {
  name=$1 setup=$2; shift 2
  : > "$data/times.txt"
  i=0
  while [ "$i" -lt "$runs" ]; do
    sh -c "$setup"
    /usr/bin/time -a -o "$data/times.txt" -f '%e %U %S %M' "$@" > /dev/null 2>&1 || true
    i=$((i + 1))
  done
  t=$data/times.txt
  median() { awk "{ print $1 }" "$t" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
  wall=$(median '$1')
  cpu=$(median '$2 + $3')
  rss=$(awk '$4 > m { m = $4 } END { print m }' "$t")
  printf '%-30s wall %s s  cpu %s s  peak RSS %s KB  (medians of %s runs)\n' "$name" "$wall" "$cpu" "$rss" "$runs"
}

measure "10 MB page, -c" ":" "$bin/cli/tavi" -c "$data/page10.html"
site="rm -rf $data/site && $bin/bench/tavi_pages site $data/site 1000 50"
measure "1,000 pages, -ec -i -r -j 1" "$site" "$bin/cli/tavi" -ec -i -r -j 1 "$data/site"
measure "1,000 pages, -ec -i -r -j 2" "$site" "$bin/cli/tavi" -ec -i -r -j 2 "$data/site"
# The same work without writing: what the processors do, apart from the disk.
measure "1,000 pages, -ec --check -j 1" ":" "$bin/cli/tavi" -ec --check -r -j 1 "$data/site"
measure "1,000 pages, -ec --check -j 2" ":" "$bin/cli/tavi" -ec --check -r -j 2 "$data/site"
echo "site: $(du -sb --apparent-size "$data/site" | cut -f1) bytes in $(find "$data/site" -type f | wc -l) files"
nproc | sed 's/^/processors: /'
uptime
