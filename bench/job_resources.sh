#!/usr/bin/env bash
# What one run of the recorder uses, for a Kubernetes Job's requests: the
# sample page at scales 1 and 3, in real time and frame by frame, each run in
# a cgroup of its own (v1 cpuacct and memory, as root). Prints the wall time,
# the cores used on average (CPU time over wall time) and the peak memory of
# the whole run (the recorder, the display server, the web processes; page
# cache included, as a memory limit counts it).
#   bench/job_resources.sh BUILD_DIR
set -euo pipefail
build=$(readlink -f "${1:-build}")
here=$(cd "$(dirname "$0")/.." && pwd)
cpu=/sys/fs/cgroup/cpuacct memory=/sys/fs/cgroup/memory
[ -w "$cpu" ] && [ -w "$memory" ] || { echo "needs root and cgroup v1 cpuacct and memory" >&2; exit 77; }
work=$(mktemp -d)
group=vuzizeri-bench-$$
trap 'rm -rf "$work"; rmdir "$cpu/$group" "$memory/$group" 2>/dev/null || true' EXIT
printf '| scale | mode | wall (s) | cores | peak memory (MiB) |\n|---|---|---|---|---|\n'
for scale in 1 3; do
  for mode in "tempo real" "quadro a quadro"; do
    mkdir -p "$cpu/$group" "$memory/$group"
    echo 0 >"$cpu/$group/cpuacct.usage"
    echo 0 >"$memory/$group/memory.max_usage_in_bytes"
    option=()
    [ "$mode" = "tempo real" ] || option=(--quadro-a-quadro)
    start=$(date +%s.%N)
    sh -c 'echo $$ >"$1/tasks"; echo $$ >"$2/tasks"; shift 2; exec "$@"' _ "$cpu/$group" "$memory/$group" \
      "$build/vuzizeri/vuzizeri" ${option[@]+"${option[@]}"} "file://$here/sample/index.html" 390 844 \
      "$scale" 47 "$work/out.mp4" >/dev/null
    wall=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
    awk -v s="$scale" -v m="$mode" -v w="$wall" -v ns="$(cat "$cpu/$group/cpuacct.usage")" \
        -v peak="$(cat "$memory/$group/memory.max_usage_in_bytes")" \
        'BEGIN { printf "| %s | %s | %.1f | %.2f | %.0f |\n", s, m, w, ns / 1e9 / w, peak / 1048576 }'
    rmdir "$cpu/$group" "$memory/$group"
  done
done
