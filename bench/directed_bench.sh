#!/usr/bin/env bash
# Frame by frame, how far each frame lies from the scroll's plan: a plain
# scroll against directed ones (a stretch, holds, easing, the way back) on the
# numbered-bar pattern page, at scales 1 and 3, in the same run.
#   bench/directed_bench.sh BUILD_DIR
set -euo pipefail
build=$(readlink -f "${1:-build}")
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="file://$here/tests/pages/pattern.html?h=3000"
# The page's end: 3000 less the view's 380 CSS px.
printf '| run | scale | frames | read | error RMS (CSS px) | max |\n|---|---|---|---|---|---|\n'
for scale in 1 3; do
  top=$((20 * scale))
  measure() {  # name, plan (start end speed ease roundTrip holds...), then the recorder's options
    local name=$1 plan=$2
    shift 2
    "$build/vuzizeri/vuzizeri" --quadro-a-quadro "$@" "$page" 200 400 "$scale" 20 "$work/$name.mp4" >/dev/null
    # shellcheck disable=SC2086  # the plan is several arguments
    "$build/bench/plan_error" "$work/$name.mp4" "$scale" "$top" $plan |
      awk -v n="$name" -v s="$scale" '{print "| " n " | " s " | " $2 " | " $4 " | " $11 " | " $15 " |"}'
  }
  measure plain "0 2620 250 0 0"
  measure "holds, eased" "0 2620 250 0.5 0 500=1 1500=0.5" --pausa '#s5=1' --pausa '#s15=0.5' --suave 0.5
  measure "stretch, there and back" "300 2000 400 0.3 1" --de '#s3' --ate '#s20' --velocidade 400 --suave 0.3 --ida-e-volta
done
