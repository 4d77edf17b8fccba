#!/usr/bin/env bash
# The main job: build the quarn tool, then run it on the bundled sample
# photo. It encodes at 0.5 bits per pixel, decodes, reports sizes, PSNR and
# times, and writes the decoded picture and a ladder sheet of several rates.
# Only the tool and the codec library are built here; ./test.sh builds the
# rest (tests, benchmarks, plug-ins) in the same tree.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
echo "Building the quarn tool (Release) in build/ ..."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target quarn

quarn=build/tools/quarn
in=samples/kodim23.png
out=build/sample
mkdir -p "$out"
size=$(stat -c %s "$in")
echo
echo "$in: 768 x 512 pixels, $((768 * 512 * 3)) bytes of RGB, $size bytes as PNG"
echo
"$quarn" encode "$in" "$out/kodim23.qrn" --bitrate 0.5 --verbose 2>&1
"$quarn" decode "$out/kodim23.qrn" "$out/kodim23.decoded.png" --verbose 2>&1
coded=$(stat -c %s "$out/kodim23.qrn")
echo "quarn: $out/kodim23.qrn: $coded bytes, $((768 * 512 * 3 / coded)):1 against raw RGB"
echo
echo "Decoded against the original:"
"$quarn" compare "$in" "$out/kodim23.decoded.png"
echo
echo "The same stream's prefixes, decoded at each rate:"
"$quarn" ladder "$in" "$out/kodim23.ladder.png"
echo
echo "Wrote:"
echo "  $out/kodim23.qrn          the coded file (size prefix and stream)"
echo "  $out/kodim23.decoded.png  the picture decoded from it"
echo "  $out/kodim23.ladder.png   one tile per rate, side by side, labelled"
