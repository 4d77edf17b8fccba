# Shared by scripts/cross.sh and scripts/package.sh (sourced, not run).

# build_cross DIR TOOLCHAIN [TARGET...]: configures DIR with a toolchain from
# cmake/toolchains (the cross builds go without the tool, and build
# GoogleTest from source) and builds the targets, or everything.
build_cross() {
  local dir="$1" toolchain="$2"
  shift 2
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUARN_TOOLS=OFF -DQUARN_GTEST_SOURCE=/usr/src/googletest >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$dir" -j"$(nproc)" --target "$@"
  else
    cmake --build "$dir" -j"$(nproc)"
  fi
}

# check_plugin_dll OBJDUMP DLL: the plug-in imports from the host (MaxAPI.dll,
# jitlib.dll) and the system (KERNEL32.dll, the C runtime) and nothing else,
# so that it needs no MinGW DLL beside it, and exports both ext_main and main.
# Prints what it found.
check_plugin_dll() {
  local dump imports exports foreign
  dump="$("$1" -p "$2")"
  imports="$(awk '/DLL Name:/ {print $3}' <<<"$dump" | sort -u)"
  exports="$(awk '/\[Ordinal\/Name Pointer\] Table/ {t = 1; next} NF == 0 {t = 0} t {print $NF}' \
    <<<"$dump" | sort)"
  echo "$2: imports from $(echo $imports); exports $(echo $exports)"
  foreign="$(grep -viE '^(MaxAPI|jitlib|KERNEL32|msvcrt|ucrtbase)\.dll$|^api-ms-win-crt-' \
    <<<"$imports" || true)"
  if [ -n "$foreign" ]; then
    echo "$2 imports from $(echo $foreign), which the host does not provide" >&2
    return 1
  fi
  if ! grep -qx ext_main <<<"$exports" || ! grep -qx main <<<"$exports"; then
    echo "$2 does not export both ext_main and main" >&2
    return 1
  fi
}

# check_plugin_dlls WIN32_DIR WIN64_DIR: check_plugin_dll on all four plug-ins.
check_plugin_dlls() {
  local plugin
  for plugin in jit.quarnpack jit.quarnopen; do
    check_plugin_dll i686-w64-mingw32-objdump "$1/bin/$plugin.mxe"
    check_plugin_dll x86_64-w64-mingw32-objdump "$2/bin/$plugin.mxe64"
  done
}
