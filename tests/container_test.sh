#!/bin/bash
# The Debian package in a locked-down container, with Debian's podman:
#
#   container_test.sh BUILD_DIR SOURCE_DIR [work folder]
#
# Builds the package (cpack) in BUILD_DIR, a minimal Debian 12 base with
# mmdebstrap (once, then cached in podman's store), the image of the
# repository's Containerfile with the package (again cached, keyed by the
# package's checksum), and in that image, as a non-root user with every
# capability dropped, no new privileges, the default seccomp profile and a
# read-only root:
#   - records the bundled sample page from a file: URL and checks the video
#     with ffprobe;
#   - records the hostile test page served by the host from an http: URL,
#     which reaches nothing and is answered as outside (downloads, dialogs,
#     popups, permissions, printing, a credentials prompt), and checks that
#     video with ffprobe too;
#   - checks that tessane and vuzizeri-many are there by name;
#   - checks that where WebKit's sandbox cannot be made (the runtime's
#     default /proc masks) the recorder refuses with one line rather than
#     recording pages without it.
# Status 0 when everything holds, 1 when something does not, 77 when podman
# cannot run containers here at all (skipped). Needs root to install what is
# missing (podman, runc, mmdebstrap, ffmpeg); touches nothing under /etc.
set -euo pipefail

build=$(readlink -f "${1:?usage: container_test.sh BUILD_DIR SOURCE_DIR [work folder]}")
source=$(readlink -f "${2:?usage: container_test.sh BUILD_DIR SOURCE_DIR [work folder]}")
work=${3:-${TMPDIR:-/tmp}/vuzizeri-container-test}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
security_mirror=${DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
base=localhost/vuzizeri-ci-base:bookworm
uid=10001

skip() { echo "SKIP: $*" >&2; exit 77; }
die() { echo "FAIL: $*" >&2; exit 1; }
step() { printf '== %s (%ds)\n' "$*" "$SECONDS"; }

mkdir -p "$work"
work=$(realpath "$work")
rm -rf "$work/pkg"
(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null) || die "cpack failed"
deb=$(ls "$work"/pkg/vuzizeri_*.deb)

# --- tools -----------------------------------------------------------------
missing=()
command -v podman >/dev/null || missing+=(podman)
command -v runc >/dev/null || [ -x /usr/sbin/runc ] || missing+=(runc)
command -v mmdebstrap >/dev/null || missing+=(mmdebstrap)
command -v ffprobe >/dev/null || missing+=(ffmpeg)
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" = 0 ] || skip "missing ${missing[*]} and not root to install them"
  step "installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}" uidmap >/dev/null ||
    { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}" uidmap >/dev/null; } ||
    skip "cannot install ${missing[*]}"
fi
command -v podman >/dev/null || skip "podman is not installed"

# Our own podman configuration, read instead of the system's: runc (crun
# refuses hybrid cgroups), no default rlimits (the host's are lower than
# podman's defaults), cgroupfs and file events (no systemd needed).
export CONTAINERS_CONF="$work/containers.conf"
cat > "$CONTAINERS_CONF" <<'EOF'
[containers]
default_ulimits = []
[engine]
runtime = "runc"
cgroup_manager = "cgroupfs"
events_logger = "file"
EOF
podman info >/dev/null 2>&1 || skip "podman cannot run here: $(podman info 2>&1 | tail -1)"

# --- base image, once ------------------------------------------------------
if ! podman image exists "$base"; then
  step "building the Debian 12 base"
  rm -f "$work/base.tar"
  mmdebstrap --quiet --variant=minbase bookworm "$work/base.tar" \
    "deb $mirror bookworm main" "deb $mirror bookworm-updates main" \
    "deb $security_mirror bookworm-security main" || die "mmdebstrap failed"
  podman import --quiet "$work/base.tar" "$base" >/dev/null || die "podman import failed"
  rm -f "$work/base.tar"
fi
podman run --rm --network=none "$base" true 2>/dev/null ||
  skip "podman cannot start a container here: $(podman run --rm --network=none "$base" true 2>&1 | tail -1)"

# --- the image, once per package ---------------------------------------------
sum=$(cat "$deb" "$source/Containerfile" | sha256sum | cut -c1-12)
image=localhost/vuzizeri-ci:$sum
if ! podman image exists "$image"; then
  step "building $image"
  context="$work/context"
  rm -rf "$context"
  mkdir -p "$context"
  cp "$deb" "$context/"
  cp "$source/Containerfile" "$context/"
  podman build --quiet --build-arg BASE="$base" -f "$context/Containerfile" -t "$image" "$context" >/dev/null ||
    die "podman build failed"
  rm -rf "$context"
  # Images of earlier packages go.
  podman images --format '{{.Repository}}:{{.Tag}}' | grep '^localhost/vuzizeri-ci:' |
    grep -v ":$sum\$" | xargs -r podman rmi >/dev/null 2>&1 || true
fi

# --- runs -------------------------------------------------------------------
out="$work/out"
rm -rf "$out"
mkdir -p "$out"
chown "$uid:$uid" "$out" 2>/dev/null || chmod 777 "$out"
locked=(--rm --user "$uid:$uid" --cap-drop=all --security-opt no-new-privileges
        --read-only --tmpfs /tmp -v "$out:/out")
# bubblewrap mounts a /proc of its own, which the kernel refuses while the
# runtime's masks cover parts of the container's /proc.
sandbox=(--security-opt 'unmask=/proc/*')

server_pid=
cleanup() { [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true; }
trap cleanup EXIT
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# Starts a server on the host's loopback ("$@", listening on $port) and waits
# until it answers.
serve() {
  "$@" &
  server_pid=$!
  for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && return
    sleep 0.1
  done
}

# Codec h264, the geometry asked for, more than a second long.
check_video() {
  local file=$1 w=$2 h=$3 probe
  [ -s "$file" ] || die "no video at $file"
  probe=$(ffprobe -v error -select_streams v:0 \
    -show_entries stream=codec_name,width,height:format=duration -of default=nw=1 "$file") ||
    die "ffprobe cannot read $file"
  grep -qx 'codec_name=h264' <<<"$probe" || die "$file: not H.264: $probe"
  grep -qx "width=$w" <<<"$probe" && grep -qx "height=$h" <<<"$probe" ||
    die "$file: not ${w}x$h: $probe"
  awk -F= '$1 == "duration" { exit !($2 > 1) }' <<<"$probe" || die "$file: too short: $probe"
}

step "recording the sample page from its file"
podman run "${locked[@]}" "${sandbox[@]}" --network=none "$image" \
  file:///usr/share/vuzizeri/sample/index.html 390 844 1 47 /out/file.mp4 ||
  die "the file: recording failed (status $?)"
check_video "$out/file.mp4" 390 844

step "the hostile page over http from the host, confined inside as outside"
# The page tries downloads, dialogs, a popup, permissions, printing and a
# credentials prompt (see tests/pages/hostile.html); the server notes what it
# delivered (no download may be, nor may the popup be asked for), and each
# block must be green at the start and at the end.
cat > "$work/hostile_server.py" <<'PY'
import http.server, sys
page = open(sys.argv[2]).read().replace("USER_AGENT", sys.argv[3])
reached = open(sys.argv[4], "w")
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        status, headers, body = 200, {"Content-Type": "text/html"}, page
        if self.path == "/secret":
            status, headers["WWW-Authenticate"] = 401, 'Basic realm="r"'
            body = "<body style='margin:0;background:#00ff00'></body>"
        elif self.path == "/popup":
            body = "<body style='background:#ff0000'></body>"
        elif self.path in ("/file.bin", "/attachment"):
            headers = {"Content-Type": "application/octet-stream", "Content-Disposition": "attachment"}
            body = "x" * (32 << 20)  # more than any socket buffer holds
        self.send_response(status)
        for k, v in headers.items(): self.send_header(k, v)
        self.end_headers()
        try:
            self.wfile.write(body.encode())
            reached.write(self.path + " sent\n")
        except OSError:
            reached.write(self.path + " cut\n")
        reached.flush()
    def log_message(self, *args): pass
http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
PY
agent=$(sed -n '/kUserAgent\[\] =/,/;$/p' "$source/vuzizeri/recorder/phone.h" | grep -o '"[^"]*"' | tr -d '"\n')
port=$(free_port)
serve python3 "$work/hostile_server.py" "$port" "$source/tests/pages/hostile.html" "$agent" "$work/reached"
# The host's own network, so that a server on its loopback is reachable
# without a bridge (the default bridge works too where it is set up:
# http://host.containers.internal:PORT/).
podman run "${locked[@]}" "${sandbox[@]}" --network=host "$image" \
  "http://127.0.0.1:$port/" 300 400 1 0 /out/hostile.mp4 || die "the hostile page's recording failed"
cleanup
server_pid=
check_video "$out/hostile.mp4" 300 400
! grep -qx -e '/file.bin sent' -e '/attachment sent' -e '/popup .*' "$work/reached" ||
  die "the hostile page reached: $(tr '\n' ' ' <"$work/reached")"
for at in first last; do
  [ $at = first ] && seek=() || seek=(-sseof -0.1)
  ffmpeg -v error "${seek[@]}" -i "$out/hostile.mp4" -frames:v 1 -f rawvideo -pix_fmt rgb24 -y "$work/$at.rgb"
  python3 - "$work/$at.rgb" "$at" <<'PY' || die "the hostile page's blocks are not all green"
import sys
rgb = open(sys.argv[1], "rb").read()
for i, name in enumerate(["user agent", "dialogs", "popups", "permissions", "printing", "401 page"]):
    o = (50 * 300 + 25 + 50 * i) * 3
    r, g, b = rgb[o:o + 3]
    if not (g > 200 and r < 60 and b < 60):
        sys.exit("%s, %s frame: %d %d %d" % (name, sys.argv[2], r, g, b))
PY
done

step "tessane and vuzizeri-many by name"
frames=$(head -c $((64 * 48 * 4 * 10)) /dev/zero |
  podman run -i "${locked[@]}" --network=none --entrypoint tessane "$image" 64 48 30 /out/t.mov) ||
  die "tessane failed"
[ "$frames" = 10 ] || die "tessane wrote '$frames' frames, not 10"
[ "$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 "$out/t.mov")" = prores ] ||
  die "tessane's movie is not ProRes"
podman run "${locked[@]}" --network=none --entrypoint sh "$image" -c 'command -v vuzizeri-many' \
  >/dev/null || die "vuzizeri-many is not on the PATH"

step "no sandbox, no recording"
# Without the unmask bubblewrap cannot work here; a writable root is where
# WebKit would otherwise quietly load the page without its sandbox.
set +e
message=$(podman run --rm --user "$uid:$uid" --cap-drop=all --security-opt no-new-privileges \
  --network=none -v "$out:/out" "$image" \
  file:///usr/share/vuzizeri/sample/index.html 390 844 1 47 /out/unsandboxed.mp4 2>&1 >/dev/null)
status=$?
set -e
[ "$status" -ne 0 ] || die "recorded with WebKit's sandbox unavailable"
[ "$status" -eq 1 ] || die "ended with status $status (a signal?) instead of a message"
[ ! -e "$out/unsandboxed.mp4" ] || die "a failed run left its video behind"
grep -q '^o isolamento das páginas (bubblewrap) não funciona aqui: ' <<<"$message" ||
  die "unexpected message: $message"

step "all good"
