#!/usr/bin/env bash
# How sharp a zoomed frame is. The fixed-header bench page at scale 1 is
# zoomed twice on its header (frame by frame); the same view is recorded at
# scale 2 unzoomed (the reference), and the unzoomed scale-1 frame is
# enlarged twice by a bicubic filter (what recorders that zoom recorded
# pixels show). Sharpness is the mean absolute Laplacian of the luma (x255)
# over the same region of the page; the zoomed frame should match the
# reference, the enlarged one fall short. Then the wall time a frame of a
# held zoom costs against the same hold unzoomed.
# Needs ImageMagick (convert) besides the build.
#   bench/zoom_bench.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(readlink -f "${1:-$here/../build}")
bin="$build/vuzizeri/vuzizeri"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="file://$here/pages/fixed_header.html"
printf 'zoom header 2\npausa 3\n' >"$work/zoom.txt"
printf 'pausa 3.4\n' >"$work/hold.txt"

timed() {  # storyboard scale movie → wall seconds
  local start end
  start=$(date +%s.%N)
  "$bin" --quadro-a-quadro --roteiro "$1" "$page" 390 844 "$2" 47 "$3" >/dev/null
  end=$(date +%s.%N)
  python3 -c "print($end - $start)"
}
zoomed=$(timed "$work/zoom.txt" 1 "$work/zoomed.mp4")
held=$(timed "$work/hold.txt" 1 "$work/held.mp4")
timed "$work/hold.txt" 2 "$work/reference.mp4" >/dev/null

# The header is as wide as the view: the zoomed view's left edge is 97.5
# CSS px in, its top the page's.
frame() { ffmpeg -v error -y -i "$1" -vf "select=eq(n\,50),$2" -frames:v 1 "$3"; }
frame "$work/zoomed.mp4" "crop=390:796:0:47" "$work/zoomed.png"
frame "$work/reference.mp4" "crop=390:796:195:94" "$work/reference.png"
frame "$work/held.mp4" "crop=390:398:0:47,scale=780:796:flags=bicubic,crop=390:796:195:0" \
  "$work/enlarged.png"
sharpness() {
  convert "$1" -colorspace gray -define convolve:scale='!' -morphology Convolve Laplacian:0 \
    -evaluate abs 0 -format "%[fx:mean*255]" info:
}
for which in reference zoomed enlarged; do
  printf '%-10s sharpness %.2f\n' "$which" "$(sharpness "$work/$which.png")"
done
frames=$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames \
  -of csv=p=0 "$work/zoomed.mp4")
echo "wall: zoomed run $zoomed s, the same hold unzoomed $held s ($frames frames)"
