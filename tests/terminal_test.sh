#!/usr/bin/env bash
# The progress line: under a pseudo-terminal (util-linux script) each tool
# shows it and erases it before its last word. (Off a terminal there is none:
# the end-to-end tests want standard error empty.)
#   tests/terminal_test.sh BUILD_DIR PAGES_DIR
set -euo pipefail
build=$(readlink -f "$1")
pages=$(readlink -f "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((64 * 48 * 4 * 90)) /dev/urandom >"$work/frames"
tessane=$(script -qec "$build/tessane/tessane 64 48 30 $work/a.mov < $work/frames" /dev/null)
vuzizeri=$(script -qec "$build/vuzizeri/vuzizeri 'file://$pages/pattern.html?h=600' 200 300 1 20 $work/a.mp4" /dev/null)
erase=$'\r\e[K'
# Shown, then erased: the last word comes on a clean line.
[[ $tessane == *"quadros/s"*"${erase}90"$'\r' ]] || { echo "tessane: $(printf %q "$tessane")"; exit 1; }
[[ $vuzizeri == *"gravando: "*"${erase}ok $work/a.mp4 "*$'s\r' ]] ||
  { echo "vuzizeri: $(printf %q "$vuzizeri")"; exit 1; }
