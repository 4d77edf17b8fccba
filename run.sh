#!/usr/bin/env bash
# The main job: build quarn, encode the bundled sample photo at 0.5 bits per
# pixel, decode it, and say what happened.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target quarn >/dev/null
out=build/sample
mkdir -p "$out"
build/tools/quarn encode samples/kodim23.png "$out/kodim23.qrn" --bitrate 0.5
build/tools/quarn decode "$out/kodim23.qrn" "$out/kodim23.decoded.png"
echo "samples/kodim23.png: $(stat -c %s samples/kodim23.png) bytes (PNG)"
echo "$out/kodim23.qrn: $(stat -c %s "$out/kodim23.qrn") bytes at 0.5 bits per pixel"
echo "$out/kodim23.decoded.png: decoded picture"
