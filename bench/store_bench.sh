#!/usr/bin/env bash
# An App Store preview of the sample page two ways, beside a reference:
#   bench/store_bench.sh BUILD_DIR
# ours: --destino app-store-6.9, the frames scaled once to 886 × 1920 as they
# are encoded; by hand: the device's own video (1320 × 2868 H.264), then
# ffmpeg cutting and scaling it as the recorder does (Lanczos), encoding again at the same 11 Mbit/s cap and
# adding the silent stereo AAC a store wants, as users report doing. The
# reference: ProRes 4444 of the very same frames, scaled by ffmpeg with
# Lanczos. All three are 15.5 s (--duracao), so their frames match one for
# one. Prints each file's PSNR and SSIM (RGB, average and lowest frame)
# against the reference, its size, the seconds it took, and what the checker
# says of it.
set -euo pipefail
build=$(readlink -f "${1:-build}")
here=$(cd "$(dirname "$0")" && pwd)
work=${STORE_BENCH_DIR:-$(mktemp -d)}
[ -n "${STORE_BENCH_DIR:-}" ] || trap 'rm -rf "$work"' EXIT
page="file://$here/../sample/index.html"
vuzizeri="$build/vuzizeri/vuzizeri"
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# The recorder's own fit of 1320 × 2868 into 886 × 1920: the middle 2860 rows.
fit="crop=1320:2860:0:4,scale=886:1920:flags=lanczos"
start=$(now)
"$vuzizeri" --destino app-store-6.9 --duracao 15.5 "$page" "$work/ours.mp4" >/dev/null
ours_s=$(since "$start")
start=$(now)
"$vuzizeri" --quadro-a-quadro --fps 30 --duracao 15.5 --aparelho iphone-16-pro-max "$page" \
  "$work/device.mp4" >/dev/null
ffmpeg -nostdin -y -v error -i "$work/device.mp4" -f lavfi -i anullsrc=r=48000:cl=stereo \
  -vf "$fit" -c:v libx264 -preset veryfast -profile:v high -level 4.0 \
  -b:v 11M -maxrate 12M -bufsize 12M -pix_fmt yuv420p -c:a aac -b:a 256k -shortest \
  -movflags +faststart "$work/by-hand.mp4"
hand_s=$(since "$start")
"$vuzizeri" --quadro-a-quadro --fps 30 --duracao 15.5 --aparelho iphone-16-pro-max --formato mov \
  "$page" "$work/prores.mov" >/dev/null
ffmpeg -nostdin -y -v error -i "$work/prores.mov" -vf "$fit" -c:v libx264rgb \
  -qp 0 -preset ultrafast "$work/reference.mkv"

# Average and lowest frame of a per-frame figure of $1 against the reference.
score() {
  local filter=$2 key=$3
  ffmpeg -v error -i "$1" -i "$work/reference.mkv" -lavfi \
    "[0:v]settb=1/30,setpts=N,format=gbrp[a];[1:v]settb=1/30,setpts=N,format=gbrp[b];[a][b]$filter=stats_file=-" -f null - 2>/dev/null |
    awk -v k="$key" '{ for (i = 1; i <= NF; i++) if (index($i, k ":") == 1) { v = substr($i, length(k) + 2); s += v; n++; if (n == 1 || v < m) m = v } }
                     END { printf "%.3f / %.3f", s / n, m }'
}
printf '%-9s %8s %18s %16s %8s  %s\n' file MB "PSNR avg/min dB" "SSIM avg/min" seconds checker
for f in ours by-hand; do
  mb=$(awk -v b="$(stat -c %s "$work/$f.mp4")" 'BEGIN { printf "%.1f", b / 1e6 }')
  s=$([ "$f" = ours ] && echo "$ours_s" || echo "$hand_s")
  verdict=$("$build/vuzizeri/vuzizeri-verificar" --destino app-store-6.9 "$work/$f.mp4" | head -1)
  printf '%-9s %8s %18s %16s %8s  %s\n' "$f" "$mb" "$(score "$work/$f.mp4" psnr psnr_avg)" \
    "$(score "$work/$f.mp4" ssim All)" "$s" "${verdict%% *}"
done
