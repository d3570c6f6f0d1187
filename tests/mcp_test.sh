#!/usr/bin/env bash
# vuzizeri-mcp through the official MCP TypeScript SDK's client (npm, pinned
# in tests/mcp/package.json, installed once into the build folder).
#   tests/mcp_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(readlink -f "$1")
source=$(readlink -f "$2")
client="$build/tests/mcp-client"
if [ ! -d "$client/node_modules/@modelcontextprotocol/sdk" ]; then
  mkdir -p "$client"
  cp "$source/tests/mcp/package.json" "$client/"
  (cd "$client" && npm install --no-audit --no-fund --silent >/dev/null)
fi
cp "$source/tests/mcp/client_test.mjs" "$client/"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
HOME="$work" TMPDIR="$work" node "$client/client_test.mjs" "$build/vuzizeri/vuzizeri-mcp" "$work"
