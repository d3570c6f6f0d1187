#!/usr/bin/env bash
# vuzizeri-servidor under load and under faults.
#   bench/service_bench.sh [build-dir] [N] [replicas]
# Load: N jobs of the sample page (390 x 844, scale 1) posted at once with
# --simultaneas 1 and 2; jobs a minute, against the same N recordings by
# vuzizeri-many with as many at once (the peer: the recorder without the
# service, its queue and its proxy), and the peak memory of the whole service
# (itself, its recorders, their web processes and displays) against the
# peer's. Replicas: jobs a minute of 1 and 2 replicas (--simultaneas 1 each)
# on a private PostgreSQL against the one service with --simultaneas 2 (only
# these with "replicas"). Faults: SIGKILL mid-run and a restart (jobs lost),
# a folder on a full disk, and a page that never answers.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(readlink -f "${1:-$root/build}")
n=${2:-6}
only=${3:-}
work=$(mktemp -d)
chmod 755 "$work"  # PostgreSQL runs as nobody under root
export VUZIZERI_TOKEN=bench-token-0123456789
auth="Authorization: Bearer $VUZIZERI_TOKEN"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  mountpoint -q "$work/cheio" 2>/dev/null && umount "$work/cheio"
  [ -n "${pgbin:-}" ] && "${as[@]}" "$pgbin/pg_ctl" -D "$work/pg/data" -m immediate stop >/dev/null 2>&1
  true
  rm -rf "$work"
}
trap cleanup EXIT
now() { date +%s.%N; }

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 "$here/service_pages.py" "$port" "$root/sample/index.html" &
pids+=($!)
page="http://127.0.0.1:$port/"
sleep 0.5

# The peak of the summed RSS (MB) of `pid` and everything under it, until it ends
# or `stopfile` appears.
peak_tree() {
  local pid=$1 stopfile=$2 peak=0
  while kill -0 "$pid" 2>/dev/null && [ ! -e "$stopfile" ]; do
    local kb
    kb=$(python3 - "$pid" <<'PY'
import os, sys
root = int(sys.argv[1]); kids = {}
for p in os.listdir('/proc'):
    if p.isdigit():
        try:
            f = open(f'/proc/{p}/stat').read().rsplit(')', 1)[1].split()
            kids.setdefault(int(f[1]), []).append(int(p))
        except OSError: pass
total, todo = 0, [root]
while todo:
    p = todo.pop(); todo += kids.get(p, [])
    try:
        for line in open(f'/proc/{p}/status'):
            if line.startswith('VmRSS:'): total += int(line.split()[1])
    except OSError: pass
print(total)
PY
)
    ((kb > peak)) && peak=$kb
    sleep 0.25
  done
  echo $((peak / 1024))
}

start_service() {  # folder, then options; $tag names its output
  local folder=$1 out="$work/${tag:-service}.out"; shift
  "$build/vuzizeri/vuzizeri-servidor" --porta 0 --pasta "$folder" "$@" >"$out" 2>"$work/service.err" &
  service=$!
  pids+=("$service")
  for _ in $(seq 100); do
    base=$(sed -n 's|.*http://0\.0\.0\.0:\([0-9]*\)/.*|http://127.0.0.1:\1|p' "$out")
    [ -n "$base" ] && return 0
    sleep 0.05
  done
  echo "the service did not start: $(cat "$work/service.err")" >&2
  exit 1
}
post() { curl -s -H "$auth" -d "$1" "$base/v1/gravacoes" | python3 -c 'import json,sys; print(json.load(sys.stdin).get("id", ""))'; }
states() { curl -s -H "$auth" "$base/v1/gravacoes" | python3 -c '
import json, sys, collections
jobs = json.load(sys.stdin)["gravacoes"]
print(" ".join(f"{k}={v}" for k, v in sorted(collections.Counter(j["estado"] for j in jobs).items())))'; }
wait_done() {  # until nothing waits or records
  while states | grep -Eq 'na-fila|gravando'; do sleep 0.5; done
}
job="{\"url\": \"$page\", \"largura\": 390, \"altura\": 844, \"escala\": 1, \"topo\": 47}"

# A private PostgreSQL cluster on a loopback port; as nobody under root,
# whom initdb refuses. Sets $banco, the URL without a database's name.
start_postgres() {
  pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | tail -1)
  [ -n "$pgbin" ] || return 1
  as=(); mkdir -p "$work/pg"
  if [ "$(id -u)" = 0 ]; then as=(runuser -u nobody --); chown nobody "$work/pg"; fi
  local pgport
  pgport=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  "${as[@]}" "$pgbin/initdb" -D "$work/pg/data" -U vuz --auth=trust --no-sync >/dev/null
  "${as[@]}" "$pgbin/pg_ctl" -D "$work/pg/data" -w -l "$work/pg/log" \
    -o "-p $pgport -k $work/pg -c listen_addresses=127.0.0.1" start >/dev/null
  banco="postgresql://vuz@127.0.0.1:$pgport"
}

# Jobs a minute of $n jobs posted to the first of `replicas` services on a
# fresh database, each recording one at a time.
replicas_rate() {
  local r=$1 first="" started=()
  "$pgbin/createdb" -h 127.0.0.1 -p "${banco##*:}" -U vuz "fila$r"
  for i in $(seq "$r"); do
    tag="replica$i" start_service "$work/r$r" --simultaneas 1 --permitir-rede 127.0.0.1/32 \
      --banco "$banco/fila$r" --nome "replica$i"
    started+=("$service")
    [ -n "$first" ] || first=$base
  done
  base=$first
  local t0 t1
  t0=$(now)
  for _ in $(seq "$n"); do post "$job" >/dev/null; done
  wait_done
  t1=$(now)
  local done_jobs
  done_jobs=$(states)
  kill "${started[@]}"; wait "${started[@]}" 2>/dev/null || true
  awk -v n="$n" -v s="$t0" -v e="$t1" 'BEGIN { printf "%.1f", n * 60 / (e - s) }'
  echo " jobs/min ($done_jobs)"
}

replicas_figures() {
  start_postgres || { echo "replicas: no PostgreSQL here"; return 0; }
  echo "replicas: $n jobs of the sample page, 390 x 844, scale 1, on $(nproc) cores"
  rm -rf "$work/s2"
  start_service "$work/s2" --simultaneas 2 --permitir-rede 127.0.0.1/32
  t0=$(now)
  for _ in $(seq "$n"); do post "$job" >/dev/null; done
  wait_done
  t1=$(now)
  echo "  one service, SQLite, --simultaneas 2: $(awk -v n="$n" -v s="$t0" -v e="$t1" 'BEGIN { printf "%.1f", n * 60 / (e - s) }') jobs/min ($(states))"
  kill "$service"; wait "$service" 2>/dev/null || true
  for r in 1 2; do echo "  $r replica(s) on PostgreSQL, --simultaneas 1 each: $(replicas_rate "$r")"; done
}
if [ "$only" = replicas ]; then
  replicas_figures
  exit 0
fi

echo "load: $n jobs of the sample page, 390 x 844, scale 1, on $(nproc) cores"
for k in 1 2; do
  rm -rf "$work/s$k"
  start_service "$work/s$k" --simultaneas "$k" --permitir-rede 127.0.0.1/32
  idle=$(ps -o rss= -p "$service" | awk '{print int($1 / 1024)}')
  rm -f "$work/stop"
  peak_tree "$service" "$work/stop" >"$work/peak" &
  meter=$!
  t0=$(now)
  for _ in $(seq "$n"); do post "$job" >/dev/null; done
  wait_done
  t1=$(now)
  touch "$work/stop"; wait "$meter"
  done_jobs=$(states)
  kill "$service"; wait "$service" 2>/dev/null || true
  for i in $(seq "$n"); do echo "$page $work/peer$i.mp4"; done >"$work/list"
  rm -f "$work/stop"
  PATH="$build/vuzizeri:$PATH" "$root/scripts/vuzizeri-many" -j "$k" -g "390 844 1 47" "$work/list" \
    >"$work/peer.out" 2>&1 &
  many=$!
  peak_tree "$many" "$work/stop" >"$work/peerpeak" &
  meter=$!
  p0=$(now)
  wait "$many" || true
  p1=$(now)
  wait "$meter"
  awk -v n="$n" -v k="$k" -v s="$t0" -v e="$t1" -v ps="$p0" -v pe="$p1" -v m="$(cat "$work/peak")" \
      -v pm="$(cat "$work/peerpeak")" -v idle="$idle" -v st="$done_jobs" 'BEGIN {
    a = n * 60 / (e - s); b = n * 60 / (pe - ps)
    printf "K=%d: %.1f jobs/min (vuzizeri-many -j %d: %.1f, ratio %.2f); peak %d MB (peer %d MB, ratio %.2f); service alone idle %d MB; %s\n",
           k, a, k, b, a / b, m, pm, m / pm, idle, st }'
done

replicas_figures

echo "faults:"
rm -rf "$work/k"
start_service "$work/k" --simultaneas 2 --permitir-rede 127.0.0.1/32
ids=(); for _ in 1 2 3 4; do ids+=("$(post "$job")"); done
sleep 6
kill -9 "$service"; wait "$service" 2>/dev/null || true
t0=$(now)
start_service "$work/k" --simultaneas 2 --permitir-rede 127.0.0.1/32
wait_done
listed=$(curl -s -H "$auth" "$base/v1/gravacoes")
lost=0; for id in "${ids[@]}"; do grep -q "$id" <<<"$listed" || lost=$((lost + 1)); done
left=$(find "$work/k/videos" -name '.*' | wc -l)
echo "  SIGKILL 6 s in, 4 jobs at K=2: $lost lost; after the restart $(states); unfinished files left: $left; restart to all ended $(awk -v a="$t0" -v b="$(now)" 'BEGIN{printf "%.1f", b - a}') s"
kill "$service"; wait "$service" 2>/dev/null || true

mkdir -p "$work/cheio"
if mount -t tmpfs -o size=6m tmpfs "$work/cheio" 2>/dev/null; then
  start_service "$work/cheio/s" --simultaneas 1 --permitir-rede 127.0.0.1/32
  for _ in 1 2 3; do post "$job" >/dev/null; done
  wait_done
  why=$(curl -s -H "$auth" "$base/v1/gravacoes" | python3 -c '
import json, sys
print("; ".join(sorted({j["erro"] for j in json.load(sys.stdin)["gravacoes"] if j["erro"]})))')
  code=$(curl -s -o /dev/null -w '%{http_code}' -H "$auth" "$base/v1/gravacoes")
  echo "  a 6 MB disk, 3 jobs: $(states); GET still $code; why: $why"
  kill "$service"; wait "$service" 2>/dev/null || true
  umount "$work/cheio"
else
  echo "  full disk: skipped (no tmpfs can be mounted here)"
fi

rm -rf "$work/n"
start_service "$work/n" --simultaneas 1 --permitir-rede 127.0.0.1/32
t0=$(now)
post "{\"url\": \"${page}nunca\", \"largura\": 390, \"altura\": 844, \"escala\": 1, \"topo\": 47}" >/dev/null
wait_done
why=$(curl -s -H "$auth" "$base/v1/gravacoes" | python3 -c 'import json,sys; print(json.load(sys.stdin)["gravacoes"][0]["erro"])')
echo "  a page that never answers: $(states) after $(awk -v a="$t0" -v b="$(now)" 'BEGIN{printf "%.1f", b - a}') s: $why"
