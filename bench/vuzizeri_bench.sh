#!/usr/bin/env bash
# Records pages at 390 × 844 (47 pt band) with scale 1 and 3 and reads each
# recording back: frames, distinct frames per second, largest gap, scroll
# accuracy on the numbered-bar page, CPU, peak memory and wall time.
#
# The peer, run in the same script on the same pages, is the recorder built
# to take every snapshot through the web process (webkit_web_view_get_snapshot),
# the way a WebKit program takes pictures when it does not draw the view
# itself. Ratios are ours over the peer's.
#
#   bench/vuzizeri_bench.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" -j2 --target vuzizeri vuzizeri_snapshot_peer recording_stats >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

pages=(
  "sample|file://$root/sample/index.html|0"
  "heavy|file://$here/pages/heavy.html|0"
  "pattern|file://$root/tests/pages/pattern.html?h=6000|250"
)

busy_ticks() {  # processor time spent outside idle, all cores, in clock ticks
  awk '/^cpu /{print $2+$3+$4+$7+$8+$9}' /proc/stat
}

measure() {  # binary name scale url speed → one line of figures
  local bin=$1 name=$2 scale=$3 url=$4 speed=$5
  local out="$work/$name.mp4" start end
  local busy0 busy1
  busy0=$(busy_ticks)
  start=$(date +%s.%N)
  if ! /usr/bin/time -f "%U %S %M" -o "$work/time" "$bin" "$url" 390 844 "$scale" 47 "$out" \
      >/dev/null 2>"$work/err"; then
    echo "failed: $(head -1 "$work/err")"
    echo 0 >"$work/distinct"
    return
  fi
  end=$(date +%s.%N)
  busy1=$(busy_ticks)
  read -r user sys rss <"$work/time"
  local band
  band=$(python3 -c "print(int($scale * 47))")
  local contentTop
  contentTop=$(python3 -c "print(int($scale*844) - int($scale*797))")
  local stats
  if [ "$speed" != 0 ]; then
    stats=$("$build/bench/recording_stats" "$out" "$scale" "$contentTop" "$speed")
  else
    stats=$("$build/bench/recording_stats" "$out" "$scale" "$contentTop")
  fi
  # Machine-wide processor use counts the web processes, the display
  # server and the encoder threads, not just the recorder's own process.
  printf '%s | wall %.1f s, machine CPU %.0f%% of 2 cores, recorder process CPU %.1f s, peak RSS %d MB\n' \
    "$stats" "$(python3 -c "print($end - $start)")" \
    "$(python3 -c "print(100 * ($busy1 - $busy0) / $(getconf CLK_TCK) / ($end - $start) / $(nproc))")" \
    "$(python3 -c "print($user + $sys)")" $((rss / 1024))
  echo "$stats" | sed -n 's/.*distinct\/s \([0-9.]*\).*/\1/p' >"$work/distinct"
}

for scale in 1 3; do
  for page in "${pages[@]}"; do
    IFS='|' read -r name url speed <<<"$page"
    echo "== $name, scale $scale"
    printf '  vuzizeri: '
    measure "$build/vuzizeri/vuzizeri" "$name-$scale" "$scale" "$url" "$speed"
    ours=$(cat "$work/distinct")
    printf '  peer:     '
    measure "$build/bench/vuzizeri_snapshot_peer" "$name-$scale-peer" "$scale" "$url" "$speed"
    peer=$(cat "$work/distinct")
    python3 -c "print('  distinct frames/s ratio vuzizeri/peer: %.2f' % ($ours / max($peer, 0.01)))"
  done
done
