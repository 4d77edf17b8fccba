#!/usr/bin/env bash
# Builds the codec as a WebAssembly ES module into web/dist/:
#   quarn.mjs        the module to import (default export: createQuarn)
#   quarn-core.mjs   the compiled codec, with its WebAssembly embedded
#   quarn.d.ts       TypeScript declarations
#   sample/          the bundled sample photo, for the page
# Installs Debian's emscripten when it is missing. Rebuilds only when a
# source is newer than the output (--force rebuilds anyway).
set -euo pipefail
web=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$web")
dist="$web/dist"
obj="$root/build/web/obj"

if ! command -v emcc >/dev/null; then
  echo "Installing emscripten (Debian) ..."
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends emscripten >/dev/null
fi
# Debian's emscripten runs its JavaScript tools under the system Node and
# finds their modules (acorn) only here.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# The codec library's folders: its sources, less the x86 SIMD kernels, and
# the glue.
library=(stream image spiht codec api)
sources=()
for dir in "${library[@]}"; do
  [ -d "$root/$dir" ] || continue
  for f in "$root/$dir"/*.cpp; do
    case "$(basename "$f")" in
      kernels_sse*|kernels_avx*) ;;
      *) sources+=("$f") ;;
    esac
  done
done
sources+=("$web/src/quarn_wasm.c")

out="$dist/quarn-core.mjs"
if [ "${1:-}" != "--force" ] && [ -f "$out" ] && [ -f "$dist/quarn.mjs" ] &&
   [ -z "$(cd "$root" && find "${library[@]}" include CMakeLists.txt "$web/src" "$web/build.sh" \
             -newer "$out" -type f 2>/dev/null | head -1)" ]; then
  echo "web/dist is up to date"
  exit 0
fi

# Every stream and pixel must match the native builds: no contraction into
# fused multiply-adds, no fast-math. The codec raises C++ exceptions for
# internal faults, which the library turns into error codes: WebAssembly's
# own exception handling catches them at no cost while none is thrown.
version=$(sed -n 's/^project(quarn VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
flags=(-O3 -ffp-contract=off -fwasm-exceptions -Wall -Wextra -Wpedantic -Werror
       -include "$web/src/compat.h" -I "$root" -I "$root/include" "-DQUARN_VERSION=\"$version\"")
mkdir -p "$obj" "$dist"
echo "Compiling ${#sources[@]} files with $(emcc --version | head -1 | sed 's/ (.*//') ..."
objects=()
pids=()
jobs=$(nproc)
i=0
for src in "${sources[@]}"; do
  o="$obj/$(echo "${src#"$root"/}" | tr / _).o"
  objects+=("$o")
  case "$src" in
    *.c) emcc -std=c11 "${flags[@]}" -c "$src" -o "$o" & ;;
    *) em++ -std=c++20 "${flags[@]}" -c "$src" -o "$o" & ;;
  esac
  pids+=($!)
  i=$((i + 1))
  if [ $((i % jobs)) -eq 0 ]; then
    for p in "${pids[@]}"; do wait "$p"; done
    pids=()
  fi
done
for p in "${pids[@]}"; do wait "$p"; done

exports='["_malloc","_free","_qw_init","_qw_message","_qw_encode","_qw_decode","_qw_info","_quarn_version","_quarn_free"]'
# One file that runs anywhere: the WebAssembly is embedded rather than
# fetched by URL, which fails under Node and needs a server for pages.
em++ "${objects[@]}" -O3 -fwasm-exceptions -o "$out.tmp.mjs" \
  -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createQuarnCore -sSINGLE_FILE=1 \
  -sENVIRONMENT=web,worker -sFILESYSTEM=0 -sDYNAMIC_EXECUTION=0 \
  -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB \
  -sEXPORTED_FUNCTIONS="$exports" -sEXPORTED_RUNTIME_METHODS='["UTF8ToString"]'
mv "$out.tmp.mjs" "$out"
cp "$web/src/quarn.mjs" "$web/src/quarn.d.ts" "$dist/"
# The page's sample photo (it serves nothing from outside web/).
mkdir -p "$dist/sample"
cp "$root/samples/kodim23.png" "$dist/sample/"
echo "Wrote $dist/quarn.mjs ($(stat -c %s "$out") bytes of codec)"
