#!/usr/bin/env bash
# The progress line: under a pseudo-terminal (util-linux script) each tool
# shows it and erases it before its last word; a pipe sees nothing of it.
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
  tessane=$(script -qec "$tessane" /dev/null)
  vuzizeri=$(script -qec "$vuzizeri" /dev/null)
  # Shown, then erased: the last word comes on a clean line.
  [[ $tessane == *"quadros/s"*"${erase}90"$'\r' ]] || { echo "tessane: $(printf %q "$tessane")"; exit 1; }
  [[ $vuzizeri == *"gravando: "*"${erase}ok $work/a.mp4 "*$'s\r' ]] ||
    { echo "vuzizeri: $(printf %q "$vuzizeri")"; exit 1; }
else
  tessane=$(bash -c "$tessane" 2>&1 | cat)
  vuzizeri=$(bash -c "$vuzizeri" 2>&1 | cat)
  [[ $tessane == 90 && $vuzizeri == "ok $work/a.mp4 "*s && $vuzizeri != *$'\e'* ]] ||
    { echo "through a pipe: $(printf %q "$tessane $vuzizeri")"; exit 1; }
fi
