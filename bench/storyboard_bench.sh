#!/usr/bin/env bash
# In real time, how smooth a storyboard's move is beside the plain scroll it
# should match: the numbered-bar page scrolled to its end at 500 CSS px/s,
# plainly and as "rolar-ate fim", alternating, ROUNDS times each, read back
# by recording_stats (frames a second, distinct ones while moving, position
# error against speed × time).
#   bench/storyboard_bench.sh BUILD_DIR [ROUNDS]
set -euo pipefail
build=$(readlink -f "${1:-build}")
rounds=${2:-2}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="file://$here/tests/pages/pattern.html?h=3000"
echo 'rolar-ate fim' > "$work/fim.txt"
for ((i = 1; i <= rounds; i++)); do
  "$build/vuzizeri/vuzizeri" --velocidade 500 "$page" 200 400 1 20 "$work/plain.mp4" >/dev/null
  printf 'plain      '
  "$build/bench/recording_stats" "$work/plain.mp4" 1 20 500
  "$build/vuzizeri/vuzizeri" --velocidade 500 --roteiro "$work/fim.txt" "$page" 200 400 1 20 \
    "$work/story.mp4" >/dev/null
  printf 'storyboard '
  "$build/bench/recording_stats" "$work/story.mp4" 1 20 500
done
