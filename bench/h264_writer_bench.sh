#!/usr/bin/env bash
# Frames per second of the H.264 writer at the recorder's usual phone size.
#   bench/h264_writer_bench.sh [build-dir] [width] [height] [frames] [preset] [live|throughput]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" -j2 --target h264_writer_bench >/dev/null
"$build/bench/h264_writer_bench" "${2:-1170}" "${3:-2532}" "${4:-120}" "$work/out.mp4" "${5:-veryfast}" "${6:-live}"
