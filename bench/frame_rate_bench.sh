#!/usr/bin/env bash
# Frame by frame at 60 and at 30 frames a second, alternating, on the sample
# page at scale 3: the frames each makes and the wall time of 30 against 60.
# The same build, the same page, the same script; only --fps differs.
#   bench/frame_rate_bench.sh BUILD_DIR [ROUNDS]
set -euo pipefail
build=$(readlink -f "${1:-build}")
rounds=${2:-2}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="file://$here/../sample/index.html"
now() { date +%s.%N; }
declare -A wall=([60]=0 [30]=0)
for ((i = 0; i < rounds; i++)); do
  for fps in 60 30; do
    start=$(now)
    "$build/vuzizeri/vuzizeri" --quadro-a-quadro --fps "$fps" "$page" 390 844 3 47 \
      "$work/$fps.mp4" >/dev/null
    wall[$fps]=$(awk -v w="${wall[$fps]}" -v a="$start" -v b="$(now)" 'BEGIN { print w + b - a }')
  done
done
for fps in 60 30; do
  frames=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 \
    "$work/$fps.mp4")
  awk -v f="$fps" -v n="$frames" -v w="${wall[$fps]}" -v r="$rounds" \
    'BEGIN { printf "--fps %s: %d frames, %.1f s a run\n", f, n, w / r }'
done
awk -v a="${wall[30]}" -v b="${wall[60]}" 'BEGIN { printf "wall, 30 against 60: %.2f\n", a / b }'
