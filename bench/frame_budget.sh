#!/usr/bin/env bash
# Where a frame's time goes, page by page, in real time and frame by frame,
# for this build and a baseline built from an earlier commit, run one after
# the other in this script (the machine's speed changes from day to day, the
# ratio between the two much less).
#
# For each run: wall time and wall time per second of video, processor
# seconds by process (the web process, the recorder with its encoder
# threads, the display server), each core's idle share, and for this build
# the recorder's own budget (VUZIZERI_ORCAMENTO): milliseconds a frame for
# the step script's round trip, the wait for the picture that shows it
# (painting and bringing it over), the wait for what the frame shows to
# arrive, drawing the view into the frame, composing it (band, rows moved
# up), handing it to the encoder, and on the encoder's thread converting and
# encoding it. Real time adds distinct frames a second. Then the two
# recordings frame against frame: the same frames at the same times, and how
# far apart their pictures are (PSNR).
#
# Last, "teclado": a storyboard that types into a field for three seconds,
# with the on-screen keyboard up and with --sem-teclado, for what the
# keyboard costs a frame (drawing it, and asking the page about the focus).
#
# Pages: the sample, the heavy bench page, the numbered-bar page, a feed
# with a sticky header that changes colour and a fixed tab bar, headers the
# recorder leaves to the engine (a shadowed sticky header over a fixed tab bar
# with a shadow, a translucent header with a backdrop blur, a translucent
# round floating button) and, when
# Debian's python3.11-doc, bash-doc and rust-doc are installed, the Python
# tutorial over http, the Bash reference manual (a long real reference page)
# and Rust's Vec page (a sticky top bar).
#
#   bench/frame_budget.sh [build-dir] [baseline-build-dir] [scale] [modes] [pages]
#   e.g. bench/frame_budget.sh build ../base/build 3 "quadro tempo" "python heavy"
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(readlink -f "${1:-$root/build}")
base=${2:-}
[ -n "$base" ] && base=$(readlink -f "$base")
scale=${3:-3}
modes=${4:-quadro tempo}
only=${5:-}
cmake --build "$build" -j2 --target vuzizeri recording_stats movie_compare >/dev/null

work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

pages=("sample|file://$root/sample/index.html" "heavy|file://$here/pages/heavy.html"
       "pattern|file://$root/tests/pages/pattern.html?h=6000")
docs=/usr/share/doc/python3.11/html
if [ -f "$docs/tutorial/controlflow.html" ]; then
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  (cd "$docs" && exec python3 -m http.server -b 127.0.0.1 "$port" >/dev/null 2>&1) &
  server=$!
  sleep 1
  pages+=("python|http://127.0.0.1:$port/tutorial/controlflow.html")
fi
[ -f /usr/share/doc/bash/bashref.html ] && pages+=("bash|file:///usr/share/doc/bash/bashref.html")
pages+=("sticky|file://$here/pages/sticky_tabs.html" "shadow|file://$here/pages/shadow_header.html"
       "blur|file://$here/pages/blur_header.html" "fab|file://$here/pages/floating_button.html")
rust=/usr/share/doc/rust-doc/html/std/vec/struct.Vec.html
[ -f "$rust" ] && pages+=("rust|file://$rust")

ms() { awk -v s="$1" -v n="$2" 'BEGIN { printf "%.1f", (n > 0 ? 1000 * s / n : 0) }'; }

extra=()  # more options for run
run() {  # label binary mode url movie → one or two lines of figures
  local label=$1 bin=$2 mode=$3 url=$4 movie=$5 start end option=
  [ "$mode" = quadro ] && option=--quadro-a-quadro
  rm -f "$movie" "$work/budget"
  python3 "$here/cpu_by_process.py" >"$work/cpu" &
  local sampler=$!
  start=$(date +%s.%N)
  # shellcheck disable=SC2086  # the option is one word or none
  if ! VUZIZERI_ORCAMENTO="$work/budget" "$bin" $option "${extra[@]}" "$url" 390 844 "$scale" 47 "$movie" \
      >/dev/null 2>"$work/err"; then
    kill -TERM "$sampler"
    wait "$sampler" || true
    printf '  %-5s failed: %s\n' "$label" "$(head -1 "$work/err")"
    return
  fi
  end=$(date +%s.%N)
  kill -TERM "$sampler"
  wait "$sampler" || true
  local stats video top
  top=$(python3 -c "print(int($scale*844) - int($scale*797))")
  stats=$("$build/bench/recording_stats" "$movie" "$scale" "$top")
  video=$(echo "$stats" | sed -n 's/.*duration \([0-9.]*\) s.*/\1/p')
  local distinct=
  [ "$mode" = tempo ] && distinct=", $(echo "$stats" | sed -n 's/.*\(distinct\/s [0-9.]* (while moving [0-9.]*)\).*/\1/p')"
  printf '  %-5s wall %.1f s (%.2f s per second of video)%s | s of CPU: %s\n' "$label" \
    "$(python3 -c "print($end - $start)")" "$(python3 -c "print(($end - $start) / max($video, 0.01))")" \
    "$distinct" "$(sed 's/ other=[0-9.]*//' "$work/cpu")"
  [ -s "$work/budget" ] || return 0
  # quadros=N passo=S quadro=S chegadas=S desenho=S composicao=S entrega=S posicao=S
  # levantados=N cpu_principal=S conversao=S codificacao=S
  local -A b
  for kv in $(cat "$work/budget"); do b[${kv%%=*}]=${kv#*=}; done
  local n=${b[quadros]}
  if [ "$mode" = quadro ]; then
    printf '        ms a frame: step %s, picture %s, arrivals %s, draw %s, compose %s, hand over %s; main thread CPU %s; encoder thread: convert %s, encode %s; layers drawn back in %s%% of frames\n' \
      "$(ms "${b[passo]}" "$n")" "$(ms "${b[quadro]}" "$n")" "$(ms "${b[chegadas]}" "$n")" \
      "$(ms "${b[desenho]}" "$n")" "$(ms "${b[composicao]}" "$n")" "$(ms "${b[entrega]}" "$n")" \
      "$(ms "${b[cpu_principal]}" "$n")" "$(ms "${b[conversao]}" "$n")" "$(ms "${b[codificacao]}" "$n")" \
      "$(awk -v l="${b[levantados]:-0}" -v n="$n" 'BEGIN { printf "%.0f", (n > 0 ? 100 * l / n : 0) }')"
  else
    printf '        ms a frame: position %s, draw %s, compose %s, hand over %s; main thread CPU %s; encoder thread: convert %s, encode %s\n' \
      "$(ms "${b[posicao]}" "$n")" "$(ms "${b[desenho]}" "$n")" "$(ms "${b[composicao]}" "$n")" \
      "$(ms "${b[entrega]}" "$n")" "$(ms "${b[cpu_principal]}" "$n")" "$(ms "${b[conversao]}" "$n")" \
      "$(ms "${b[codificacao]}" "$n")"
  fi
}

for page in "${pages[@]}"; do
  IFS='|' read -r name url <<<"$page"
  [ -n "$only" ] && [[ " $only " != *" $name "* ]] && continue
  for mode in $modes; do
    echo "== $name, scale $scale, $([ "$mode" = quadro ] && echo 'frame by frame' || echo 'real time')"
    [ -n "$base" ] && run base "$base/vuzizeri/vuzizeri" "$mode" "$url" "$work/base.mp4"
    run ours "$build/vuzizeri/vuzizeri" "$mode" "$url" "$work/ours.mp4"
    if [ -n "$base" ] && [ "$mode" = quadro ] && [ -s "$work/base.mp4" ] && [ -s "$work/ours.mp4" ]; then
      echo "        ours against base: $("$build/bench/movie_compare" "$work/base.mp4" "$work/ours.mp4")"
    fi
  done
done

if [ -z "$only" ] || [[ " $only " == *" teclado "* ]]; then
  printf 'pausa 0.3\ndigitar #busca %s\npausa 0.5\n' "$(printf 'vuzizeri%.0s' 1 2 3)" >"$work/teclado.txt"
  for mode in $modes; do
    echo "== teclado, scale $scale, $([ "$mode" = quadro ] && echo 'frame by frame' || echo 'real time')"
    extra=(--velocidade 2000 --roteiro "$work/teclado.txt")
    run up "$build/vuzizeri/vuzizeri" "$mode" "file://$root/tests/pages/story.html" "$work/up.mp4"
    extra+=(--sem-teclado)
    run none "$build/vuzizeri/vuzizeri" "$mode" "file://$root/tests/pages/story.html" "$work/none.mp4"
    extra=()
  done
fi
