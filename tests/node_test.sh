#!/usr/bin/env bash
# A program driven from Node by a client from npm: vuzizeri-mcp through the
# official MCP TypeScript SDK's client (tests/mcp/), vuzizeri-servidor's page
# in Debian's Chromium through playwright-core (tests/web/). The packages
# are pinned in the folder's package.json and installed once into the build
# folder, again when that file changes.
#   tests/node_test.sh BUILD_DIR SOURCE_DIR FOLDER SCRIPT PROGRAM
set -euo pipefail
build=$(readlink -f "$1")
source=$(readlink -f "$2")
folder=$3 script=$4 program=$5
client="$build/tests/$folder-client"
if ! cmp -s "$source/tests/$folder/package.json" "$client/package.json" ||
   [ ! -d "$client/node_modules" ]; then
  mkdir -p "$client"
  cp "$source/tests/$folder/package.json" "$client/"
  (cd "$client" && npm install --no-audit --no-fund --silent >/dev/null)
fi
cp "$source/tests/$folder/$script" "$client/"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
HOME="$work" TMPDIR="$work" node "$client/$script" "$build/$program" "$work"
