#!/usr/bin/env bash
# Pages a minute when recording a batch: N recordings of the sample page at
# 390 × 844, scale 1, through vuzizeri-many with 1, 2, 3, 4 and 6 runs at
# once, and how smooth those recordings are (distinct frames a second, from
# recording_stats). The peer of each figure is the one-at-a-time batch of the
# same script. The best default runs as many at once as add pages a minute
# without losing smoothness.
#   bench/batch_bench.sh [build-dir] [N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
n=${2:-12}
cmake --build "$build" -j2 --target vuzizeri recording_stats >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for ((i = 0; i < n; i++)); do echo "file://$root/sample/index.html $work/page$i.mp4"; done >"$work/list"
echo "$n recordings of the sample page, 390 x 844, scale 1, on $(nproc) cores"
base=
for jobs in 1 2 3 4 6; do
  start=$(date +%s.%N)
  PATH="$build/vuzizeri:$PATH" "$root/scripts/vuzizeri-many" -j "$jobs" -g "390 844 1 47" \
    "$work/list" >"$work/out" 2>"$work/err" || true
  end=$(date +%s.%N)
  ok=$(grep -c '^ok ' "$work/out" || true)
  distinct=$(for f in "$work"/page*.mp4; do "$build/bench/recording_stats" "$f" 1 47; done |
             sed -n 's/.*distinct\/s \([0-9.]*\).*/\1/p' | awk '{s += $1} END {if (NR) print s / NR; else print 0}')
  rate=$(awk "BEGIN{print $ok * 60 / ($end - $start)}")
  base=${base:-$rate}
  printf '%d at once: %d of %d in %.1f s, %.2f pages/min (%.2fx one at a time), %.1f distinct frames/s\n' \
    "$jobs" "$ok" "$n" "$(awk "BEGIN{print $end - $start}")" "$rate" "$(awk "BEGIN{print $rate / $base}")" \
    "$distinct"
  rm -f "$work"/page*.mp4
done
