#!/usr/bin/env bash
# The Max package users install: dist/quarn/ and dist/quarn-VERSION.zip.
#
#   dist/quarn/package-info.json
#   dist/quarn/externals/   jit.quarnpack.mxe64, jit.quarnopen.mxe64 (64-bit
#                           Windows) and the 32-bit .mxe builds
#   dist/quarn/help/        one help patcher per object
#   dist/quarn/docs/refpages/quarn-ref/   one reference page per object
#   dist/quarn/README.md, dist/quarn/LICENSE.txt
#
# The plug-ins are built in build-win32/ and build-win64/ as scripts/cross.sh
# builds them (after it, only what changed is rebuilt) and must import only
# from the host and the system. The package's help patchers and reference
# pages are then checked against what the plug-ins create in the stand-in
# host (tests/package_check.py, with the native build's plugin_ports).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/cross_lib.sh
scripts/deps.sh g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest zip

version="$(sed -n 's/^project(quarn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

build_cross build-win32 i686-w64-mingw32 jit_quarnpack jit_quarnopen
build_cross build-win64 x86_64-w64-mingw32 jit_quarnpack jit_quarnopen
check_plugin_dlls build-win32 build-win64
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target plugin_ports

out=dist/quarn
rm -rf "$out" "dist/quarn-$version.zip"
mkdir -p "$out/externals"
cp -R package/. "$out/"
cp build-win64/bin/jit.quarnpack.mxe64 build-win64/bin/jit.quarnopen.mxe64 "$out/externals/"
cp build-win32/bin/jit.quarnpack.mxe build-win32/bin/jit.quarnopen.mxe "$out/externals/"
cp LICENSE "$out/LICENSE.txt"

python3 tests/package_check.py "$out" --ports build/tests/plugin_ports --version "$version" --built
(cd dist && zip -qr "quarn-$version.zip" quarn)
echo "Wrote $out/ and dist/quarn-$version.zip:"
(cd dist && unzip -l "quarn-$version.zip" | sed -n '4,$p' | awk 'NF == 4 {print "  " $4}')
