#!/usr/bin/env bash
# What the sound costs: a 30 s storyboard frame by frame on the story page
# (taps, typing, two narrar lines, holds) recorded with --sons, a looped
# --audio tone and the voices, against the same storyboard silent (each
# narrar a pausa as long as its voice was), alternating, ROUNDS times each.
# Wall and processor time of each run, and their ratios.
#   bench/sound_mix.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=$(readlink -f "${1:-build}")
rounds=${2:-2}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" -j2 --target vuzizeri >/dev/null
page="file://$here/tests/pages/story.html"
python3 -c "
import math, struct, wave
w = wave.open('$work/tone.wav', 'wb'); w.setparams((2, 2, 44100, 0, 'NONE', ''))
w.writeframes(b''.join(struct.pack('<hh', int(9000 * math.sin(2 * math.pi * 220 * i / 44100)),
                                   int(9000 * math.sin(2 * math.pi * 330 * i / 44100)))
                       for i in range(44100 * 3)))"
cat >"$work/sound.txt" <<'STEPS'
pausa 1
narrar Este é o vuzizeri, gravando uma página como um telefone a mostraria.
tocar .abrir-menu
pausa 1
tocar .item-3
digitar #busca vuzizeri grava
pausa 2
narrar Cada toque faz um clique, e cada tecla um tique.
pausa 4
tocar .abrir-menu
pausa 4
tocar .abrir-menu
pausa 7
STEPS
run() {  # run NAME ARGS...: "wall cpu" seconds
  local name=$1
  shift
  /usr/bin/time -f '%e %U %S' -o "$work/$name.time" "$build/vuzizeri/vuzizeri" --quadro-a-quadro \
    --json "$@" "$page" 390 844 1 47 "$work/$name.mp4" >"$work/$name.json"
  awk '{printf "%.2f %.2f", $1, $2 + $3}' "$work/$name.time"
}
# The silent storyboard holds where the voices spoke.
run sound --sons --audio "$work/tone.wav" --roteiro "$work/sound.txt" >/dev/null
python3 - "$work/sound.json" "$work/sound.txt" >"$work/silent.txt" <<'PY'
import json, sys
spoken = [w['ate'] - w['de'] for w in json.load(open(sys.argv[1]))['legendas']
          if w['tipo'] == 'narracao']
for line in open(sys.argv[2]):
    sys.stdout.write('pausa %.4f\n' % spoken.pop(0) if line.startswith('narrar') else line)
PY
seconds=$(python3 -c "import json; print(json.load(open('$work/sound.json'))['segundos'])")
echo "a ${seconds} s storyboard frame by frame, 390 x 844 at scale 1, on $(nproc) cores"
for ((i = 1; i <= rounds; i++)); do
  read -r sw sc <<<"$(run sound --sons --audio "$work/tone.wav" --roteiro "$work/sound.txt")"
  read -r qw qc <<<"$(run silent --roteiro "$work/silent.txt")"
  printf 'round %d: with sound %.2f s wall, %.2f s cpu; silent %.2f s wall, %.2f s cpu; ratio %.3f wall, %.3f cpu\n' \
    "$i" "$sw" "$sc" "$qw" "$qc" "$(awk "BEGIN{print $sw / $qw}")" "$(awk "BEGIN{print $sc / $qc}")"
done
