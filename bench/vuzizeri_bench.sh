#!/usr/bin/env bash
# Records pages at 390 × 844 (47 pt band) with scale 1 and 3, in real time and
# frame by frame, and reads each recording back: frames, distinct frames per
# second (over the whole video and while the page moves), the largest gap,
# scroll accuracy on the numbered-bar page, CPU, peak memory, wall time and
# wall time per second of video.
#
# The peer, run in the same script on the same pages, is the recorder built
# to take every snapshot through the web process (webkit_web_view_get_snapshot),
# the way a WebKit program takes pictures when it does not draw the view
# itself. Ratios are ours over the peer's.
#
# The pages: the bundled sample, a page heavy with shadows, blur and
# animation, the numbered-bar page, and, when Debian's python3.11-doc is
# installed, a long Python tutorial page served over http. Then what a person
# sees: a fixed header over text and stripes (still_stats), and a shop whose
# pictures arrive late (empty_boxes).
#
# For the numbered-bar page at scale 3 each frame's time, offset and offset
# error go to OUT/offsets-<mode>.txt, and with gnuplot installed they are
# plotted in OUT/offset-error.png.
#
#   bench/vuzizeri_bench.sh [build-dir] [out-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
out=${2:-$(mktemp -d)}
mkdir -p "$out"
cmake --build "$build" -j2 --target vuzizeri vuzizeri_snapshot_peer recording_stats still_stats \
  empty_boxes >/dev/null

work=$(mktemp -d)
server=
late=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  [ -n "$late" ] && kill "$late" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

pages=(
  "sample|file://$root/sample/index.html|0"
  "heavy|file://$here/pages/heavy.html|0"
  "pattern|file://$root/tests/pages/pattern.html?h=6000|250"
)
docs=/usr/share/doc/python3.11/html
if [ -f "$docs/tutorial/controlflow.html" ]; then
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  (cd "$docs" && exec python3 -m http.server -b 127.0.0.1 "$port" >/dev/null 2>&1) &
  server=$!
  sleep 1
  pages+=("python|http://127.0.0.1:$port/tutorial/controlflow.html|0")
fi

busy_ticks() {  # processor time spent outside idle, all cores, in clock ticks
  awk '/^cpu /{print $2+$3+$4+$7+$8+$9}' /proc/stat
}

measure() {  # label binary scale url speed offsets-file [option] → one line of figures
  local label=$1 bin=$2 scale=$3 url=$4 speed=$5 offsets=$6 option=${7:-}
  local movie="$work/movie.mp4" start end busy0 busy1
  rm -f "$movie"
  busy0=$(busy_ticks)
  start=$(date +%s.%N)
  # shellcheck disable=SC2086  # the option is one word or none
  if ! /usr/bin/time -f "%U %S %M" -o "$work/time" "$bin" $option "$url" 390 844 "$scale" 47 \
      "$movie" >/dev/null 2>"$work/err"; then
    printf '  %-16s failed: %s\n' "$label" "$(head -1 "$work/err")"
    echo 0 >"$work/distinct"
    return
  fi
  end=$(date +%s.%N)
  busy1=$(busy_ticks)
  read -r user sys rss <"$work/time"
  local contentTop stats
  contentTop=$(python3 -c "print(int($scale*844) - int($scale*797))")
  if [ "$speed" != 0 ]; then
    stats=$("$build/bench/recording_stats" "$movie" "$scale" "$contentTop" "$speed" $offsets)
  else
    stats=$("$build/bench/recording_stats" "$movie" "$scale" "$contentTop")
  fi
  local video
  video=$(echo "$stats" | sed -n 's/.*duration \([0-9.]*\) s.*/\1/p')
  # Machine-wide processor use counts the web processes, the display
  # server and the encoder threads, not just the recorder's own process.
  printf '  %-16s %s | wall %.1f s (%.2f s per second of video), machine CPU %.0f%% of %d cores, recorder CPU %.1f s, peak RSS %d MB\n' \
    "$label" "$stats" "$(python3 -c "print($end - $start)")" \
    "$(python3 -c "print(($end - $start) / max($video, 0.01))")" \
    "$(python3 -c "print(100 * ($busy1 - $busy0) / $(getconf CLK_TCK) / ($end - $start) / $(nproc))")" \
    "$(nproc)" "$(python3 -c "print($user + $sys)")" $((rss / 1024))
  echo "$stats" | sed -n 's/.*distinct\/s \([0-9.]*\).*/\1/p' >"$work/distinct"
}

for scale in 1 3; do
  for page in "${pages[@]}"; do
    IFS='|' read -r name url speed <<<"$page"
    echo "== $name, scale $scale"
    plot=
    [ "$name" = pattern ] && [ "$scale" = 3 ] && plot=1
    measure "real time" "$build/vuzizeri/vuzizeri" "$scale" "$url" "$speed" \
      "${plot:+$out/offsets-real-time.txt}"
    ours=$(cat "$work/distinct")
    measure "frame by frame" "$build/vuzizeri/vuzizeri" "$scale" "$url" "$speed" \
      "${plot:+$out/offsets-frame-by-frame.txt}" --quadro-a-quadro
    measure "peer" "$build/bench/vuzizeri_snapshot_peer" "$scale" "$url" "$speed" ""
    peer=$(cat "$work/distinct")
    python3 -c "print('  distinct frames/s ratio, real time/peer: %.2f' % ($ours / max($peer, 0.01)))"
  done
done

# What a person sees: a fixed header over text and 1-CSS-px stripes (how
# still the header stays, how sharp the frames are), and a shop whose 30
# pictures each arrive 0.4 s after they are asked for (frames with an empty
# box where a picture will be).
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 "$here/late_server.py" "$port" 0.4 &
late=$!
sleep 1
seen() {  # label scale url reader [option] → one line
  local label=$1 scale=$2 url=$3 reader=$4 option=${5:-} start end top
  top=$(python3 -c "print(int($scale*844) - int($scale*797))")
  start=$(date +%s.%N)
  # shellcheck disable=SC2086  # the option is one word or none
  "$build/vuzizeri/vuzizeri" $option "$url" 390 844 "$scale" 47 "$work/seen.mp4" >/dev/null
  end=$(date +%s.%N)
  if [ "$reader" = still_stats ]; then
    printf '  %-24s %s | wall %.1f s\n' "$label" \
      "$("$build/bench/still_stats" "$work/seen.mp4" "$scale" "$top")" "$(python3 -c "print($end - $start)")"
  else
    printf '  %-24s %s | wall %.1f s\n' "$label" \
      "$("$build/bench/empty_boxes" "$work/seen.mp4" "$top")" "$(python3 -c "print($end - $start)")"
  fi
}
for scale in 1 3; do
  echo "== fixed header, scale $scale"
  seen "real time" "$scale" "file://$here/pages/fixed_header.html" still_stats
  seen "frame by frame" "$scale" "file://$here/pages/fixed_header.html" still_stats --quadro-a-quadro
done
echo "== late pictures, scale 1"
seen "real time" 1 "http://127.0.0.1:$port/late_images.html" empty_boxes
seen "real time, pre-loaded" 1 "http://127.0.0.1:$port/late_images.html" empty_boxes --pre-carregar
seen "frame by frame" 1 "http://127.0.0.1:$port/late_images.html" empty_boxes --quadro-a-quadro

if command -v gnuplot >/dev/null && [ -s "$out/offsets-real-time.txt" ]; then
  gnuplot <<EOF
set terminal pngcairo size 1000,420 font "DejaVu Sans,11"
set output "$out/offset-error.png"
set title "Numbered-bar page, 390 × 844 at scale 3: where each frame shows the page against where it should be"
set xlabel "video time (s)"
set ylabel "offset error (CSS px)"
set yrange [-3:3]
set grid
set key top right
plot "$out/offsets-real-time.txt" using 1:3 with points pt 7 ps 0.3 lc rgb "#c0392b" title "real time", \
     "$out/offsets-frame-by-frame.txt" using 1:3 with points pt 7 ps 0.3 lc rgb "#1f6fb2" title "frame by frame"
EOF
  echo "plot: $out/offset-error.png"
fi
