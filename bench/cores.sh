#!/usr/bin/env bash
# The figures of docs/speed.md on threads and large frames, each from rounds
# that interleave what they compare, the fastest of each taken:
#
#   warm     in-process, warm, the Kodak photos at 0.5 bpp (quarn_bench): one
#            thread and every thread, and with BEFORE=DIR the build of the
#            code before the worker pool in DIR (its bench/quarn_bench) too;
#   whole    4096 x 4096 at 0.5 bpp, whole processes (quarn encode and
#            quarn decode on a PPM of the tiled sample), 1 and 2 threads,
#            with the stages alone from quarn_bench's scaling table;
#   scaling  cost per pixel at 1024 x 1024 and 8192 x 8192 (quarn_bench
#            --only scaling), one thread and every thread;
#   memory   peak memory at 8192 x 8192, 0.5 bpp: the codec (memory_peak) and
#            the tool's whole process (/usr/bin/time).
#
# Usage: bench/cores.sh [warm|whole|scaling|memory|all] [ROUNDS]
# Environment: BUILD (default build), ISA (default avx2: the cap, as on an
# AVX-512 machine), BEFORE (a build directory of the earlier code), KODAK.
# Prints Markdown tables; every figure names machine, instruction set and
# threads. Run on a quiet machine: `uptime` is printed before each part.
set -euo pipefail
cd "$(dirname "$0")/.."

what="${1:-all}"
rounds="${2:-5}"
build="${BUILD:-build}"
isa="${ISA:-avx2}"
kodak="${KODAK:-$(cd .. && pwd)/shared/kodak}"
bench="$build/bench/quarn_bench"
tool="$build/tools/quarn"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for program in "$bench" "$tool"; do
  [ -x "$program" ] || { echo "cores.sh: $program is missing; build it first" >&2; exit 1; }
done
threads_all="$(nproc)"
echo "## bench/cores.sh"
echo
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $threads_all processor threads; kernels capped at $isa; $rounds rounds, the fastest of each."
echo

# The smallest of a list of numbers.
least() { sort -g | head -1; }

# Encode and decode ms per frame from one quarn_bench warm run.
warm_figures() {
  "$@" --only warm --rates 0.5 --repeat 9 --best --kodak "$kodak" |
    awk -F'|' '/\*\*encode\*\*/ { gsub(/[()]/, "", $3); split($3, a, " "); e = a[2] }
               /\*\*decode\*\*/ { gsub(/[()]/, "", $3); split($3, a, " "); d = a[2] }
               END { print e, d }'
}

if [ "$what" = warm ] || [ "$what" = all ]; then
  echo "### Warm, in-process, Kodak 768 x 512 at 0.5 bpp"
  echo
  echo "uptime: $(uptime)"
  echo
  declare -A enc dec
  names=(one all)
  [ -n "${BEFORE:-}" ] && names+=(before)
  for name in "${names[@]}"; do enc[$name]=""; dec[$name]=""; done
  for ((r = 0; r < rounds; ++r)); do
    for name in "${names[@]}"; do
      case "$name" in
        one) read -r e d < <(warm_figures "$bench" --isa "$isa" --threads 1) ;;
        all) read -r e d < <(warm_figures "$bench" --isa "$isa" --threads 0) ;;
        before) read -r e d < <(warm_figures "$BEFORE/bench/quarn_bench") ;;
      esac
      enc[$name]+="$e"$'\n'
      dec[$name]+="$d"$'\n'
    done
  done
  echo "| code, threads | encode ms | decode ms | encode MP/s | decode MP/s |"
  echo "|---|---:|---:|---:|---:|"
  declare -A best_e best_d
  for name in "${names[@]}"; do
    best_e[$name]=$(printf '%s' "${enc[$name]}" | least)
    best_d[$name]=$(printf '%s' "${dec[$name]}" | least)
    case "$name" in
      one) label="now, 1 thread" ;;
      all) label="now, $threads_all threads" ;;
      before) label="before (${BEFORE}), 1 thread" ;;
    esac
    awk -v l="$label" -v e="${best_e[$name]}" -v d="${best_d[$name]}" \
      'BEGIN { printf "| %s | %.3f | %.3f | %.1f | %.1f |\n", l, e, d, 0.393216 / e * 1e3, 0.393216 / d * 1e3 }'
  done
  base="one"
  [ -n "${BEFORE:-}" ] && base="before"
  awk -v be="${best_e[$base]}" -v bd="${best_d[$base]}" -v e="${best_e[all]}" -v d="${best_d[all]}" -v b="$base" \
    'BEGIN { printf "\nAll threads against %s: encode %.2f x, decode %.2f x\n\n", (b == "one" ? "one thread" : "the code before"), be / e, bd / d }'
fi

if [ "$what" = whole ] || [ "$what" = all ]; then
  echo "### Whole process, 4096 x 4096 at 0.5 bpp"
  echo
  echo "uptime: $(uptime)"
  echo
  "$bench" --write-tiled 4096 "$work/big.ppm"
  "$tool" encode "$work/big.ppm" "$work/big.qrn" -b 0.5
  declare -A t
  for k in e1 e2 d1 d2; do t[$k]=""; done
  # Seconds the command takes, to the microsecond. Each run writes a new
  # file, as a user's first run does (replacing one waits for the disk).
  seconds() {
    rm -f "$work/out.qrn" "$work/out.ppm"
    local t0=${EPOCHREALTIME/./}
    "$@" >/dev/null
    local t1=${EPOCHREALTIME/./}
    printf '%d.%06d\n' $(( (t1 - t0) / 1000000 )) $(( (t1 - t0) % 1000000 ))
  }
  for ((r = 0; r < rounds; ++r)); do
    for n in 1 2; do
      t[e$n]+="$(seconds "$tool" encode "$work/big.ppm" "$work/out.qrn" -b 0.5 --threads $n --isa "$isa")"$'\n'
      t[d$n]+="$(seconds "$tool" decode "$work/big.qrn" "$work/out.ppm" --threads $n --isa "$isa")"$'\n'
    done
  done
  e1=$(printf '%s' "${t[e1]}" | least); e2=$(printf '%s' "${t[e2]}" | least)
  d1=$(printf '%s' "${t[d1]}" | least); d2=$(printf '%s' "${t[d2]}" | least)
  echo "| | 1 thread, s | 2 threads, s | 1 / 2 |"
  echo "|---|---:|---:|---:|"
  awk -v a="$e1" -v b="$e2" 'BEGIN { printf "| quarn encode | %.3f | %.3f | %.2f |\n", a, b, a / b }'
  awk -v a="$d1" -v b="$d2" 'BEGIN { printf "| quarn decode | %.3f | %.3f | %.2f |\n", a, b, a / b }'
  echo
  echo "The stages in-process (quarn_bench --only scaling at 4096 x 4096, ns per pixel):"
  echo
  for n in 1 2; do
    "$bench" --only scaling --min-side 4096 --max-side 4096 --best --isa "$isa" --threads $n |
      grep -E '^\| (size|4096)' | sed "s/^| 4096 x 4096/| 4096 x 4096, $n thread(s)/"
  done
  echo
fi

if [ "$what" = scaling ] || [ "$what" = all ]; then
  echo "### Cost per pixel, 1024 x 1024 against 8192 x 8192, 0.5 bpp"
  echo
  echo "uptime: $(uptime)"
  echo
  for n in 1 0; do
    "$bench" --only scaling --min-side 1024 --max-side 8192 --best --isa "$isa" --threads $n |
      grep -E '^\|' | awk -F'|' -v n="$n" '
        /^\| 1024 x 1024/ { e1 = $3; d1 = $4 } /^\| 8192 x 8192/ { e8 = $3; d8 = $4 } { print }
        END { printf "\n8192 against 1024, %s: encode %.2f x, decode %.2f x\n\n",
                     (n == 1 ? "1 thread" : "every thread"), e8 / e1, d8 / d1 }'
  done
fi

if [ "$what" = memory ] || [ "$what" = all ]; then
  echo "### Peak memory, 8192 x 8192 at 0.5 bpp"
  echo
  if [ -x "$build/tests/memory_peak" ]; then "$build/tests/memory_peak" 8192 8192 0.5; fi
  "$bench" --write-tiled 8192 "$work/big8.ppm"
  kib=$(/usr/bin/time -f %M "$tool" encode "$work/big8.ppm" "$work/big8.qrn" -b 0.5 2>&1 >/dev/null | tail -1)
  awk -v k="$kib" 'BEGIN { printf "quarn encode, whole process: %.0f MB, %.2f bytes per pixel\n", k / 1024, k * 1024 / 8192 / 8192 }'
  kib=$(/usr/bin/time -f %M "$tool" decode "$work/big8.qrn" "$work/big8.out.ppm" 2>&1 >/dev/null | tail -1)
  awk -v k="$kib" 'BEGIN { printf "quarn decode, whole process: %.0f MB, %.2f bytes per pixel\n", k / 1024, k * 1024 / 8192 / 8192 }'
fi
