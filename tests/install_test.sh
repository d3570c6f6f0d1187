#!/usr/bin/env bash
# Installs both tools into a scratch prefix, moves the prefix elsewhere, and
# runs the installed programs there with the build and source folders hidden
# (bwrap mounts empty folders over them): vuzizeri-many recording a page made
# on the spot twice, in real time and frame by frame, then once more and a
# page that is not there with --json, a short tessane run and the store
# checker on its movie. (What the install holds, the package test lists.)
#   tests/install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(readlink -f "$1")
source=$(readlink -f "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/prefix"

cat >"$work/page.html" <<'PAGE'
<!doctype html><body style="margin:0;height:200px;background:#36c"></body>
PAGE
hidden() {  # runs "$@" where neither the build nor the source folder can be seen
  bwrap --dev-bind / / --tmpfs "$build" --tmpfs "$source" --chdir "$work" -- "$@"
}
cat >"$work/list" <<LIST
file://$work/page.html $work/real time.mp4
  --quadro-a-quadro file://$work/page.html '$work/frame by frame.mp4'
LIST
out=$(hidden env -i PATH=/usr/bin:/bin HOME="$work" "$work/prefix/bin/vuzizeri-many" -j 1 \
        -g "200 300 1 20" "$work/list" | sort)
[[ $out == "ok $work/frame by frame.mp4 "*" bytes, 1.0s"$'\n'"ok $work/real time.mp4 "*" bytes, "*s ]] ||
  { echo "vuzizeri-many said: $out"; exit 1; }
# With --json, one object a line of the list, a failed run's and an
# unreadable line's too; a line written on Windows (CR LF) names its file
# without the CR.
printf '%s\n' "file://$work/none.html $work/k.mp4" "--quadro-a-quadro 'unbalanced $work/q.mp4" \
  "file://$work/page.html $work/crlf.mp4"$'\r' >"$work/list2"
status=0
out=$(hidden env -i PATH=/usr/bin:/bin HOME="$work" "$work/prefix/bin/vuzizeri-many" --json -j 1 \
        -g "200 300 1 20" "$work/list2") || status=$?
python3 - "$status" "$out" "$work" <<'CHECK' || { echo "vuzizeri-many --json said ($status): $out"; exit 1; }
import json, os, sys
status, lines, work = int(sys.argv[1]), sys.argv[2].splitlines(), sys.argv[3]
runs = {d.get("arquivo") or d["url"]: d for d in map(json.loads, lines)}
ok, failed = runs[work + "/crlf.mp4"], runs["file://" + work + "/none.html"]
unreadable = runs["--quadro-a-quadro 'unbalanced " + work + "/q.mp4"]
assert status == 1 and len(lines) == 3 and unreadable["status"] == 2
assert ok["bytes"] == os.path.getsize(ok["arquivo"]) and ok["modo"] == "tempo-real" and ok["quadros"] == 61
assert failed["status"] == 1 and failed["erro"].startswith("a página não carregou")
CHECK
# A list that is not there is a failure, not an empty batch.
status=0
hidden env -i PATH=/usr/bin:/bin "$work/prefix/bin/vuzizeri-many" "$work/none.txt" 2>/dev/null || status=$?
[ "$status" = 2 ] || { echo "vuzizeri-many on a missing list: status $status"; exit 1; }
count=$(head -c $((16 * 8 * 4 * 3)) /dev/zero |
        hidden env -i PATH=/usr/bin:/bin "$work/prefix/bin/tessane" 16 8 30 "$work/out.mov")
[ "$count" = 3 ] || { echo "tessane said: $count"; exit 1; }
# The checker finds its targets' table in the moved prefix: the tessane movie
# is read, and breaks the App Store's rules (size, sound, length...).
status=0
checked=$(hidden env -i PATH=/usr/bin:/bin "$work/prefix/bin/vuzizeri-verificar" \
  --destino app-store-6.9 "$work/out.mov") || status=$?
[ "$status" = 3 ] && grep -q "tamanho: 16×8; app-store-6.9 pede 886×1920" <<<"$checked" ||
  { echo "vuzizeri-verificar said ($status): $checked"; exit 1; }
