#!/usr/bin/env bash
# bench/png_output.sh: what writing PNG adds to `quarn decode`, against
# writing PPM, as whole processes: on the Kodak photos (768x512) and on an
# 8192x8192 mosaic of them (bench/mosaic.cpp), at each rate given.
#
# The PPM and PNG runs alternate, round by round; each figure is the fastest
# round, which other work on a shared machine disturbs least. With
# --before PATH, a second quarn binary (say, an older build) runs in the
# same rounds, so that the two are measured alike.
#
# usage: bench/png_output.sh [--rates "0.5 4"] [--rounds 5] [--photos N]
#                            [--quarn PATH] [--before PATH] [--threads N]
#                            [--isa scalar|sse2|avx2|avx512]
#
# --isa and --threads go to quarn when it takes them. The report names the
# machine, the instruction set and the thread count.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

rates="0.5 4"
rounds=5
photos=24
quarn=""
before=""
threads=""
isa=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rates) rates="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --photos) photos="$2"; shift 2 ;;
    --quarn) quarn="$2"; shift 2 ;;
    --before) before="$2"; shift 2 ;;
    --threads) threads="$2"; shift 2 ;;
    --isa) isa="$2"; shift 2 ;;
    *) echo "usage: bench/png_output.sh [--rates \"R ...\"] [--rounds N] [--photos N]" \
            "[--quarn PATH] [--before PATH] [--threads N] [--isa ISA]" >&2; exit 2 ;;
  esac
done

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(--target quarn_mosaic)
[ -z "$quarn" ] && targets+=(--target quarn)
cmake --build build -j"$(nproc)" "${targets[@]}" >/dev/null
[ -z "$quarn" ] && quarn="$root/build/tools/quarn"
kodak="$root/../shared/kodak"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

builds=(after)
declare -A binary=([after]="$quarn")
if [ -n "$before" ]; then builds=(before after); binary[before]="$before"; fi
opts=()
threads_text="every core, the tool's default ($(nproc) here)"
if ! "$quarn" decode --help 2>&1 | grep -q -- '--threads'; then
  threads_text="the decoding on 1, the PNG writer on every core ($(nproc) here); this quarn has no --threads"
  [ -n "$threads" ] && echo "png_output.sh: this quarn has no --threads" >&2
elif [ -n "$threads" ]; then
  opts+=(--threads "$threads")
  threads_text="$threads (--threads $threads)"
fi
cpu_flags="$(grep -m1 '^flags' /proc/cpuinfo || true)"
best_isa=sse2
[[ " $cpu_flags " == *" avx2 "* ]] && best_isa=avx2
[[ " $cpu_flags " == *" avx512f "* ]] && best_isa=avx512
isa_text="$best_isa, the processor's best"
if [ -n "$isa" ]; then
  if "$quarn" decode --help 2>&1 | grep -q -- '--isa'; then
    opts+=(--isa "$isa")
    isa_text="at most $isa (--isa $isa), on a processor with $best_isa"
  else
    echo "png_output.sh: this quarn has no --isa; it runs with the processor's best" >&2
  fi
fi

# measure LABEL STREAMS...: every stream decoded to PPM and to PNG by every
# build, interleaved, the fastest round summed over the streams.
measure() {
  local label=$1; shift
  declare -A best
  local round s i build format key us t0 t1
  for round in $(seq 1 "$rounds"); do
    i=0
    for s in "$@"; do
      i=$(( i + 1 ))
      for build in "${builds[@]}"; do
        for format in ppm png; do
          key="$build.$format.$i"
          t0=${EPOCHREALTIME/./}
          "${binary[$build]}" decode "${opts[@]}" "$s" "$work/out.$format" 2>/dev/null
          t1=${EPOCHREALTIME/./}
          us=$(( t1 - t0 ))
          if [ -z "${best[$key]:-}" ] || [ "$us" -lt "${best[$key]}" ]; then best[$key]=$us; fi
          [ "$round" -eq 1 ] && echo "$(stat -c %s "$work/out.$format")" >"$work/size.$key"
        done
      done
    done
  done
  for build in "${builds[@]}"; do
    local ppm=0 png=0 bytes=0
    for i in $(seq 1 $#); do
      ppm=$(( ppm + ${best[$build.ppm.$i]} ))
      png=$(( png + ${best[$build.png.$i]} ))
      bytes=$(( bytes + $(cat "$work/size.$build.png.$i") ))
    done
    awk -v l="$label" -v b="$build" -v ppm="$ppm" -v png="$png" -v n="$#" -v bytes="$bytes" \
      'BEGIN {printf "| %s | %s | %.1f | %.1f | %.2f | %.0f |\n", l, b, ppm / n / 1000,
              png / n / 1000, png / ppm, bytes / n}'
  done
}

cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "Machine: $cpu, $(nproc) cores; instruction set: $isa_text;"
echo "threads: $threads_text; load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| picture, rate | quarn | to PPM, ms | to PNG, ms | PNG / PPM | PNG bytes |"
echo "|---|---|---:|---:|---:|---:|"

"$root/build/bench/quarn_mosaic" 8192 8192 "$work/mosaic.ppm" "$kodak"
for rate in $rates; do
  # The Kodak photos, each a stream at this rate.
  streams=()
  for i in $(seq 1 "$photos"); do
    png="$(printf '%s/kodim%02d.png' "$kodak" "$i")"
    [ -f "$png" ] || continue
    "$quarn" encode "$png" "$work/k$i.$rate.qrn" -b "$rate"
    streams+=("$work/k$i.$rate.qrn")
  done
  [ ${#streams[@]} -eq 0 ] && { "$quarn" encode samples/kodim23.png "$work/k.$rate.qrn" -b "$rate"; streams=("$work/k.$rate.qrn"); }
  measure "${#streams[@]} photos 768x512, $rate bpp" "${streams[@]}"
  "$quarn" encode "$work/mosaic.ppm" "$work/mosaic.$rate.qrn" -b "$rate"
  measure "8192x8192, $rate bpp" "$work/mosaic.$rate.qrn"
  rm -f "$work"/*.qrn
done
echo
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
