#!/usr/bin/env bash
# One frame-by-frame recording of the heavy bench page at scale 3, made whole
# and made in parts: two parts side by side on this machine, then four parts
# one after another, each timed alone, as four machines would run them. Prints
# the wall times, each part's, the join's, and what N machines would take on
# paper: the slowest part plus the join.
#   bench/parts_bench.sh BUILD_DIR [N]
set -euo pipefail
build=$(readlink -f "${1:-build}")
n=${2:-4}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="file://$here/pages/heavy.html"
record() {  # output, then options
  local out=$1
  shift
  "$build/vuzizeri/vuzizeri" --quadro-a-quadro "$@" "$page" 390 844 3 47 "$out" >/dev/null
}
now() { date +%s.%N; }
span() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

start=$(now)
record "$work/whole.mp4"
whole=$(span "$start" "$(now)")
video=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/whole.mp4")
echo "whole run: ${whole} s for ${video} s of video"

start=$(now)
record "$work/a1.mp4" --trecho 1/2 &
record "$work/a2.mp4" --trecho 2/2 &
wait
"$build/vuzizeri/vuzizeri-juntar" "$work/two.mp4" "$work/a1.mp4" "$work/a2.mp4" >/dev/null
echo "two parts side by side, joined: $(span "$start" "$(now)") s"

parts=()
slowest=0
for k in $(seq "$n"); do
  start=$(now)
  record "$work/p$k.mp4" --trecho "$k/$n"
  t=$(span "$start" "$(now)")
  frames=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$work/p$k.mp4")
  echo "part $k/$n alone: $t s, $frames frames"
  parts+=("$work/p$k.mp4")
  slowest=$(awk -v a="$slowest" -v b="$t" 'BEGIN { print (b > a ? b : a) }')
done
start=$(now)
"$build/vuzizeri/vuzizeri-juntar" "$work/n.mp4" "${parts[@]}" >/dev/null
join=$(span "$start" "$(now)")
echo "join of $n: $join s; on $n machines: $(awk -v a="$slowest" -v b="$join" 'BEGIN { printf "%.1f", a + b }') s"
