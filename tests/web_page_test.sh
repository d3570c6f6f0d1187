#!/usr/bin/env bash
# vuzizeri-servidor's page driven in Debian's Chromium through playwright-core
# (npm, pinned in tests/web/package.json, installed once into the build folder).
#   tests/web_page_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(readlink -f "$1")
source=$(readlink -f "$2")
client="$build/tests/web-client"
if [ ! -d "$client/node_modules/playwright-core" ]; then
  mkdir -p "$client"
  cp "$source/tests/web/package.json" "$client/"
  (cd "$client" && npm install --no-audit --no-fund --silent >/dev/null)
fi
cp "$source/tests/web/page_test.mjs" "$client/"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
HOME="$work" TMPDIR="$work" node "$client/page_test.mjs" "$build/vuzizeri/vuzizeri-servidor" "$work"
