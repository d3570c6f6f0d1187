#!/usr/bin/env bash
# Installs the Debian packages the build, the tools and the tests need, when
# any is missing. Safe to run again: it does nothing when all are there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config googletest
  # encoders and muxers
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  # mixing, loudness and the limiter of the sound track; narrar's voice
  libavfilter-dev espeak-ng
  # the GIF's palette and dithering
  libimagequant-dev
  # the recorder's web view, drawing and event loop
  libwebkit2gtk-4.1-dev libgtk-3-dev libcairo2-dev libglib2.0-dev
  # its private display; the web process needs EGL even without a GPU
  xvfb xauth libegl-mesa0 libgl1-mesa-dri
  # the web process sandbox
  bubblewrap xdg-dbus-proxy
  # the MCP server reads its JSON-RPC messages with json-glib; the HTTP
  # service answers with libsoup and keeps its queue in SQLite
  libjson-glib-dev libsoup-3.0-dev libsqlite3-dev
  # replicas keep their shared queue in PostgreSQL; the tests start a private one
  libpq-dev postgresql
  # the service's page is tested in a real browser
  chromium
  # the faces the recorder's own font configuration maps pages to: a UI sans,
  # metric-compatible Helvetica/Arial/Times/Courier, Menlo's ancestor, colour
  # emoji, and Chinese, Japanese and Korean; locales for the decimal-comma tests
  fonts-inter fonts-liberation2 fonts-dejavu-core fonts-noto-color-emoji fonts-noto-cjk locales
  # the benchmarks' peer commands and their peak-memory meter
  ffmpeg time
  # a server with a certificate nobody signed, for the load-failure test
  openssl
  # reads the --json report as a script would, and the Kubernetes manifests,
  # in the tests
  python3 python3-yaml
  # the Debian package (cpack's dependency scan) and the manual pages
  file dpkg-dev man-db
  # keeps the code's style (.clang-format), checked by CI; reads the status
  # bar's time back in the tests
  clang-format tesseract-ocr
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "installing: ${missing[*]}" >&2
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# Node and npm for the MCP server's test, which drives it with the official
# SDK's client, and the page's, which drives Chromium with playwright-core; a node of another origin (NodeSource's carries npm) is kept.
if ! command -v npm >/dev/null 2>&1; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends nodejs npm >&2
fi

# A decimal-comma locale, so the tests can prove that numbers on the command
# line and in the report never follow the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^pt_BR\.utf-\?8$'; then
  localedef -i pt_BR -f UTF-8 pt_BR.UTF-8 >&2 || true
fi
