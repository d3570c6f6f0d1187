#!/usr/bin/env bash
# Encodes one generated RGBA clip with tessane and with ffmpeg's two ProRes
# encoders, alternately for a few rounds, and prints speed, peak memory, data
# rate and per-channel PSNR against the input.
#   bench/tessane_bench.sh [build-dir] [width] [height] [frames] [rounds] [clip]
# clip: the grain of a camera-like clip, in levels (default 3), or "overlay"
# for flat graphics and text with a soft-edged alpha (see make_clip.cpp).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
width=${2:-1920}
height=${3:-1080}
frames=${4:-120}
rounds=${5:-3}
grain=${6:-3}
fps=30
tessane=$build/tessane/tessane
[ -x "$tessane" ] || { echo "no $tessane; build first" >&2; exit 1; }
command -v ffmpeg >/dev/null && [ -x /usr/bin/time ] || { echo "needs ffmpeg and /usr/bin/time (scripts/setup.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -o "$work/make_clip" "$here/make_clip.cpp"
clip=$work/clip.rgba
"$work/make_clip" "$width" "$height" "$frames" "$clip" "$grain"

names=(tessane prores_ks prores_aw)
run() {  # name output
  case $1 in
    tessane) "$tessane" "$width" "$height" "$fps" "$2" >/dev/null ;;
    prores_ks) ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s "${width}x$height" -r $fps -i - \
                 -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le "$2" ;;
    prores_aw) ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s "${width}x$height" -r $fps -i - \
                 -c:v prores_aw -profile:v 4 -pix_fmt yuva444p10le "$2" ;;
  esac
}

declare -A best mem
for ((r = 0; r < rounds; r++)); do
  # Rotate the order each round so no command always runs on a warm cache.
  for ((i = 0; i < 3; i++)); do
    name=${names[(i + r) % 3]}
    /usr/bin/time -f "%e %M" -o "$work/time" bash -c "$(declare -f run); tessane='$tessane' width=$width height=$height fps=$fps run $name '$work/$name.mov'" <"$clip"
    read -r secs kib <"$work/time"
    if [ -z "${best[$name]:-}" ] || awk "BEGIN{exit !($secs < ${best[$name]})}"; then best[$name]=$secs; fi
    if [ -z "${mem[$name]:-}" ] || [ "$kib" -gt "${mem[$name]}" ]; then mem[$name]=$kib; fi
  done
done

kind="grain ±$grain"; [ "$grain" = overlay ] && kind="overlay graphics"
echo "clip: ${frames} frames of ${width}x${height} RGBA at $fps fps, $kind, best of $rounds rounds"
printf '%-10s %8s %9s %9s %10s   %s\n' command fps "vs tessane" "peak MB" "Mbit/s" "PSNR dB (max abs diff) R G B A"
tfps=$(awk "BEGIN{print $frames / ${best[tessane]}}")
for name in "${names[@]}"; do
  f=$(awk "BEGIN{print $frames / ${best[$name]}}")
  bytes=$(stat -c %s "$work/$name.mov")
  # tessane tags BT.709; ffmpeg's own outputs are untagged and were made with
  # its default BT.601 matrix, so each is read back with its own matrix.
  matrix=bt601; [ "$name" = tessane ] && matrix=bt709
  quality=$("$build/bench/movie_psnr" "$clip" "$width" "$height" "$work/$name.mov" $matrix)
  printf '%-10s %8.1f %9.2fx %9.0f %10.1f   %s\n' "$name" "$f" \
    "$(awk "BEGIN{print $f / $tfps}")" "$(awk "BEGIN{print ${mem[$name]} / 1024}")" \
    "$(awk "BEGIN{print $bytes * 8 / ($frames / $fps) / 1e6}")" "$quality"
done
