#!/usr/bin/env bash
# The progress line: under a pseudo-terminal (util-linux script) each tool
# shows it and erases it before its last word; through a pipe nothing of it
# appears, and the output is byte for byte the same as without it.
#   tests/terminal_test.sh pty|pipe BUILD_DIR PAGES_DIR
set -euo pipefail
mode=$1
build=$(readlink -f "$2")
pages=$(readlink -f "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((64 * 48 * 4 * 90)) /dev/urandom >"$work/frames"
tessane="$build/tessane/tessane 64 48 30 $work/a.mov < $work/frames"
vuzizeri="$build/vuzizeri/vuzizeri 'file://$pages/pattern.html?h=600' 200 300 1 20 $work/a.mp4"
erase=$'\r\e[K'

if [ "$mode" = pty ]; then
  script -qec "$tessane" /dev/null >"$work/tessane.tty"
  script -qec "$vuzizeri" /dev/null >"$work/vuzizeri.tty"
  grep -q 'quadros/s' "$work/tessane.tty" || { echo "tessane showed no progress"; exit 1; }
  grep -q 'gravando: ' "$work/vuzizeri.tty" || { echo "vuzizeri showed no progress"; exit 1; }
  # The last word comes right after the erasing, on a clean line.
  [[ $(<"$work/tessane.tty") == *"${erase}90"$'\r' ]] || { echo "tessane left its line"; exit 1; }
  [[ $(<"$work/vuzizeri.tty") == *"${erase}ok $work/a.mp4 "*$'s\r' ]] ||
    { echo "vuzizeri left its line"; exit 1; }
else
  out=$(bash -c "$tessane" 2>&1 | cat)
  [ "$out" = 90 ] || { echo "tessane through a pipe: $(printf %q "$out")"; exit 1; }
  out=$(bash -c "$vuzizeri" 2>&1 | cat)
  [[ $out == "ok $work/a.mp4 "*s && $out != *$'\e'* ]] ||
    { echo "vuzizeri through a pipe: $(printf %q "$out")"; exit 1; }
fi
echo "progress line $mode: as it should be"
