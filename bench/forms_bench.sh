#!/usr/bin/env bash
# What the lossy forms keep of the sample page at scale 1, frame by frame,
# against ProRes of the very same frames, beside peers made from those frames:
#   bench/forms_bench.sh BUILD_DIR [GIFSKI]
# WebM: every frame's PSNR (RGB) against the 60 fps ProRes, ours beside
# libvpx's good mode at the same bit rate from the ProRes frames. GIF, at 30
# frames a second against the 30 fps ProRes: ours beside FFmpeg's palettegen
# and paletteuse (defaults; stats_mode=diff with Bayer scale 3) and, when the
# path of a gifski binary is given, gifski: size, PSNR and SSIM (RGB, average
# and lowest) and the seconds each took (ours: the whole recording less the
# ProRes recording of the same frames).
set -euo pipefail
build=$(readlink -f "${1:-build}")
gifski=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="file://$here/../sample/index.html"
record() {  # options... output
  "$build/vuzizeri/vuzizeri" --quadro-a-quadro "${@:1:$#-1}" "$page" 390 844 1 47 "${!#}" >/dev/null
}
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# Per-frame figures of movie $1 against $2, frame by frame by index.
scores() {
  local filter=$3
  ffmpeg -v error -i "$1" -i "$2" -lavfi \
    "[0:v]settb=1/60,setpts=N,format=gbrp[a];[1:v]settb=1/60,setpts=N,format=gbrp[b];[a][b]$filter=stats_file=-" \
    -fps_mode passthrough -f null - 2>/dev/null
}
psnrs() { scores "$1" "$2" psnr | sed -n 's/.*psnr_avg:\([0-9.inf]*\).*/\1/p' | sed 's/inf/99/'; }
ssims() { scores "$1" "$2" ssim | sed -n 's/.*All:\([0-9.]*\).*/\1/p'; }
summary() { awk 'NR == 1 { m = $1 } { s += $1; if ($1 < m) m = $1 } END { printf "%.'"$1"'f / %.'"$1"'f", s / NR, m }'; }

start=$(now)
record --formato mov "$work/ref60.mov"
mov60=$(since "$start")
record --formato webm "$work/ours.webm"
bits=$(ffprobe -v error -show_entries format=bit_rate -of csv=p=0 "$work/ours.webm")
ffmpeg -v error -y -i "$work/ref60.mov" -c:v libvpx-vp9 -deadline good -cpu-used 2 -row-mt 1 \
  -b:v "$bits" -g 120 "$work/good.webm"
echo "WebM, sample page, scale 1, 60 fps, against ProRes of the same frames (PSNR, dB)"
echo "| encoder | size | all frames avg / min | first 12 frames avg / min |"
echo "|---|---|---|---|"
for name in ours good; do
  psnrs "$work/$name.webm" "$work/ref60.mov" >"$work/$name.psnr"
  printf '| %s | %.2f MB | %s | %s |\n' \
    "$([ $name = ours ] && echo 'ours (real-time mode, cpu-used 8)' || echo 'libvpx good mode, cpu-used 2')" \
    "$(echo "$(stat -c %s "$work/$name.webm") / 1000000" | bc -l)" \
    "$(summary 2 <"$work/$name.psnr")" "$(head -12 "$work/$name.psnr" | summary 2)"
done

start=$(now)
record --fps 30 --formato mov "$work/ref30.mov"
mov30=$(since "$start")
start=$(now)
record --formato gif "$work/ours.gif"
ours=$(awk -v a="$(since "$start")" -v b="$mov30" 'BEGIN { printf "%.1f", a - b }')
start=$(now)
ffmpeg -v error -y -i "$work/ref30.mov" -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse" \
  "$work/ffmpeg.gif"
ffmpegTime=$(since "$start")
start=$(now)
ffmpeg -v error -y -i "$work/ref30.mov" \
  -vf "split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=dither=bayer:bayer_scale=3" \
  "$work/diff.gif"
diffTime=$(since "$start")
methods=(ours ffmpeg diff)
declare -A label=([ours]="ours (libimagequant, changed rectangles)"
  [ffmpeg]="FFmpeg palettegen + paletteuse, defaults"
  [diff]="FFmpeg, stats_mode=diff, Bayer scale 3" [gifski]="gifski")
declare -A took=([ours]=$ours [ffmpeg]=$ffmpegTime [diff]=$diffTime)
if [ -n "$gifski" ]; then
  mkdir "$work/png"
  ffmpeg -v error -i "$work/ref30.mov" "$work/png/f%05d.png"
  start=$(now)
  "$gifski" --quiet --fps 30 -o "$work/gifski.gif" "$work/png"/f*.png
  took[gifski]=$(since "$start")
  label[gifski]="gifski $("$gifski" --version | cut -d' ' -f2)"
  methods+=(gifski)
fi
echo
echo "GIF, sample page, scale 1, 30 fps, against ProRes of the same frames"
echo "| method | size | PSNR avg / min (dB) | SSIM avg / min | seconds |"
echo "|---|---|---|---|---|"
for name in "${methods[@]}"; do
  printf '| %s | %.1f MB | %s | %s | %s |\n' "${label[$name]}" \
    "$(echo "$(stat -c %s "$work/$name.gif") / 1000000" | bc -l)" \
    "$(psnrs "$work/$name.gif" "$work/ref30.mov" | summary 1)" \
    "$(ssims "$work/$name.gif" "$work/ref30.mov" | summary 3)" "${took[$name]}"
done
echo "(the ProRes recordings took $mov60 s at 60 fps and $mov30 s at 30)"
