#!/usr/bin/env bash
# Whether two builds make the very same files: the sample page frame by frame
# (at scale 1 and 3) and tessane on a generated clip, the movie's bytes and
# every decoded frame compared. For a change that must not change what the
# programs make (a tidy-up, a move of code).
#   bench/same_output.sh BUILD_DIR BASE_BUILD_DIR
set -euo pipefail
build=$(readlink -f "${1:?build folder}")
base=$(readlink -f "${2:?base build folder}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="file://$here/../sample/index.html"
status=0

# The decoded frames' checksums, one a line, with their times.
frames() { ffmpeg -v error -i "$1" -map 0:v -f framemd5 - | grep -v '^#'; }

compare() {  # what a b
  if cmp -s "$2" "$3"; then
    echo "$1: the same bytes ($(stat -c %s "$2") of them)"
  elif [ "$(frames "$2")" = "$(frames "$3")" ]; then
    echo "$1: other bytes, the same frames at the same times"
  else
    echo "$1: DIFFERENT frames"
    status=1
  fi
}

for scale in 1 3; do
  for which in build base; do
    "${!which}/vuzizeri/vuzizeri" --quadro-a-quadro "$page" 390 844 "$scale" 47 \
      "$work/$which-$scale.mp4" >/dev/null
  done
  compare "frame by frame, sample page, scale $scale" "$work/build-$scale.mp4" \
    "$work/base-$scale.mp4"
done

g++ -O2 -o "$work/make_clip" "$here/make_clip.cpp"
"$work/make_clip" 640 360 30 "$work/clip.rgba" 3
for which in build base; do
  "${!which}/tessane/tessane" 640 360 30 "$work/$which.mov" <"$work/clip.rgba" >/dev/null
done
compare "tessane, 640 × 360, 30 frames" "$work/build.mov" "$work/base.mov"
exit $status
