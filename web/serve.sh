#!/usr/bin/env bash
# Builds the WebAssembly module when needed and serves the page on
# 127.0.0.1 (port 8015, or the one given), printing its URL.
#   web/serve.sh [PORT]
set -euo pipefail
web=$(cd "$(dirname "$0")" && pwd)
"$web/build.sh"
exec node "$web/server.mjs" --port "${1:-8015}"
