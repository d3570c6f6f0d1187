#!/usr/bin/env bash
# A matrix of 2 devices × 2 languages × 2 schemes over a local page (one no
# crawler has seen) with a storyboard that types each language's greeting:
# the wall time of vuzizeri-matriz against the same 8 vuzizeri runs one
# after another. With an output folder, the matrix and a picture of its
# contact sheet in Chromium stay there.
#   bench/matrix_bench.sh [build-dir] [folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" -j2 --target vuzizeri >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=${2:-$work/matrix}
cat >"$work/page.html" <<'HTML'
<!doctype html><meta charset=utf-8><meta name=viewport content="width=device-width">
<style>body { font: 20px system-ui; margin: 24px } :root { color-scheme: light dark }
input { font: inherit; width: 100%; box-sizing: border-box }</style>
<h1 id=lang></h1><input id=campo placeholder="…"><p id=date></p>
<script>lang.textContent = navigator.language + ' · ' +
  (matchMedia('(prefers-color-scheme: dark)').matches ? 'escuro' : 'claro');
date.textContent = new Date(Date.UTC(2026, 11, 24)).toLocaleDateString(undefined, { dateStyle: 'full' });</script>
HTML
printf 'chave\tpt-BR\ten-US\nsaudacao\tOlá, mundo\tHello, world\n' >"$work/textos.tsv"
printf 'pausa 0.3\ndigitar #campo {saudacao}\npausa 0.5\n' >"$work/roteiro.txt"
options=(--quadro-a-quadro --roteiro "$work/roteiro.txt" --textos "$work/textos.tsv")
devices=(iphone-se pixel-8) languages=(pt-BR en-US) schemes=(claro escuro)
url=file://$work/page.html
echo "8 cells (2 devices x 2 languages x 2 schemes) on $(nproc) cores"
start=$(date +%s.%N)
PATH="$build/vuzizeri:$PATH" "$root/scripts/vuzizeri-matriz" --refazer --aparelhos pixel-8,iphone-se \
  --idiomas pt-BR,en-US --esquemas claro,escuro "${options[@]}" "$url" "$out" 2>/dev/null
matrix=$(awk "BEGIN{print $(date +%s.%N) - $start}")
start=$(date +%s.%N)
for d in "${devices[@]}"; do
  for l in "${languages[@]}"; do
    for s in "${schemes[@]}"; do
      "$build/vuzizeri/vuzizeri" --aparelho "$d" --idioma "$l" --esquema "$s" "${options[@]}" \
        "$url" "$work/$d-$l-$s.mp4" >/dev/null
    done
  done
done
serial=$(awk "BEGIN{print $(date +%s.%N) - $start}")
printf 'vuzizeri-matriz  %6.1f s\none after another %6.1f s (x%.2f)\n' "$matrix" "$serial" \
  "$(awk "BEGIN{print $serial / $matrix}")"
grep -c '"estado": "ok"' "$out/matriz.json" | sed 's/$/ cells ok/'
if command -v chromium >/dev/null && [ -n "${2-}" ]; then
  chromium --headless --disable-gpu --no-sandbox --hide-scrollbars --window-size=1000,1500 \
    --virtual-time-budget=5000 --screenshot="$out/sheet.png" "file://$(readlink -f "$out")/index.html" \
    >/dev/null 2>&1 && echo "contact sheet: $out/sheet.png"
fi
