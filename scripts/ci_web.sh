#!/usr/bin/env bash
# The WebAssembly module and the page, tested against the native tool: builds
# web/dist with Debian's emscripten, installs the browser test's npm packages
# from the lock file, and runs the Node test and the headless-Chromium test.
# Needs build/tools/quarn (./test.sh builds it). Leaves the screenshots and
# the decode times in build/web/.
set -euo pipefail
cd "$(dirname "$0")/.."

# One apt run for both (web/build.sh would install emscripten by itself).
scripts/deps.sh chromium emscripten
web/build.sh
if [ ! -x build/tools/quarn ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build --target quarn -j"$(nproc)"
fi

cd web
npm ci --no-audit --no-fund --loglevel=error
node --test test/codec.test.mjs test/browser.test.mjs
