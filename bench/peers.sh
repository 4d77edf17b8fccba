#!/usr/bin/env bash
# bench/peers.sh: quarn against the image codecs people already use, in one
# run, on the same PPM files at matched bits per pixel.
#
#   JPEG       cjpeg / djpeg                 (libjpeg-turbo-progs)
#   JPEG 2000  opj_compress / opj_decompress (libopenjp2-tools)
#   WebP       cwebp / dwebp                 (webp)
#
# For every rate it finds, per photo, the setting of each peer that comes
# closest to the rate from below, and measures the achieved bits per pixel
# (whole files) and PSNR over RGB:
#   JPEG       cjpeg in its default mode (no -optimize, no -progressive) at
#              the quality, of all 100, whose file is the largest that fits;
#   WebP       its target size;
#   JPEG 2000  its compression ratio.
# Then, at one rate, it times every encoder and decoder as whole processes
# (start, file in, code, file out), interleaved photo by photo and round by
# round in a rotating order so that drift of the machine falls on every
# codec alike. A run's time is the fastest of the rounds for that photo,
# which other work on a shared machine disturbs least. It reports megapixels
# per second and the ratios of quarn's times to each peer's, with the
# machine, the instruction set and the thread count quarn ran with.
#
# --isa and --threads go to quarn (when it takes them); the peers run as
# they are, on one thread.
#
# Writes docs/peers.md (the tables) and docs/peers.png (PSNR against bits per
# pixel, the mean over the photos, every codec) with gnuplot, or into the
# folder --out names.
#
# usage: bench/peers.sh [--kodak DIR] [--rates "0.1 0.25 0.5 1 2"]
#                       [--speed-rate 0.5] [--rounds 5] [--photos N]
#                       [--isa scalar|sse2|avx2|avx512] [--threads N]
#                       [--quarn PATH] [--out DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

kodak="$root/../shared/kodak"
rates="0.1 0.25 0.5 1 2"
speed_rate=0.5
rounds=5
photos=24
quarn=""
isa=""
threads=""
out="$root/docs"
while [ $# -gt 0 ]; do
  case "$1" in
    --kodak) kodak="$2"; shift 2 ;;
    --rates) rates="$2"; shift 2 ;;
    --speed-rate) speed_rate="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --photos) photos="$2"; shift 2 ;;
    --isa) isa="$2"; shift 2 ;;
    --threads) threads="$2"; shift 2 ;;
    --quarn) quarn="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "usage: bench/peers.sh [--kodak DIR] [--rates \"R ...\"] [--speed-rate R]" \
            "[--rounds N] [--photos N] [--isa ISA] [--threads N] [--quarn PATH] [--out DIR]" >&2
       exit 2 ;;
  esac
done

scripts/deps.sh libjpeg-turbo-progs libopenjp2-tools webp gnuplot-nox netpbm
if [ -z "$quarn" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build -j"$(nproc)" --target quarn >/dev/null
  quarn="$root/build/tools/quarn"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# quarn's options for the runs: --isa and --threads where the tool has them.
quarn_opts=()
cpu_flags="$(grep -m1 '^flags' /proc/cpuinfo || true)"
best_isa=sse2
[[ " $cpu_flags " == *" avx2 "* ]] && best_isa=avx2
[[ " $cpu_flags " == *" avx512f "* ]] && best_isa=avx512
isa_text="$best_isa, the processor's best"
if [ -n "$isa" ]; then
  if "$quarn" encode --help 2>&1 | grep -q -- '--isa'; then
    quarn_opts+=(--isa "$isa")
    isa_text="at most $isa (--isa $isa), on a processor with $best_isa"
  else
    echo "peers.sh: this quarn has no --isa; it runs with the processor's best" >&2
  fi
fi
if "$quarn" encode --help 2>&1 | grep -q -- '--threads'; then
  if [ -n "$threads" ]; then
    quarn_opts+=(--threads "$threads")
    threads_text="$threads (--threads $threads)"
  else
    threads_text="all $(nproc) cores (the default)"
  fi
else
  [ -n "$threads" ] && echo "peers.sh: this quarn has no --threads; it runs on one thread" >&2
  threads_text="1 (this quarn has no --threads)"
fi

# The photos as PPM, the format every tool here reads.
names=()
for i in $(seq 1 "$photos"); do
  png="$(printf '%s/kodim%02d.png' "$kodak" "$i")"
  [ -f "$png" ] || continue
  name="$(basename "$png" .png)"
  pngtopnm "$png" >"$work/$name.ppm" 2>/dev/null
  names+=("$name")
done
if [ ${#names[@]} -eq 0 ]; then
  names=(kodim23)
  pngtopnm samples/kodim23.png >"$work/kodim23.ppm" 2>/dev/null
fi
source_name="photos from the Kodak set"
[ "${names[*]}" = "kodim23" ] && [ ! -f "$kodak/kodim23.png" ] && source_name="photo, the bundled sample"

codecs=(quarn jpeg j2k webp)
declare -A label=([quarn]="quarn" [jpeg]="JPEG (libjpeg-turbo)" [j2k]="JPEG 2000 (OpenJPEG)"
                  [webp]="WebP (libwebp)")
declare -A ext=([quarn]=qrn [jpeg]=jpg [j2k]=j2k [webp]=webp)

pixels() { head -c 64 "$1" | tr -s ' \n\t' ' ' | awk '{print $2 * $3}'; }
size() { stat -c %s "$1"; }

# encode CODEC NAME RATE: the coded file for that rate, with the peer's
# setting found for it (kept in $work/NAME.CODEC.setting).
encode() {
  local codec=$1 name=$2 rate=$3 in="$work/$2.ppm" f="$work/$2.${ext[$1]}"
  local px target
  px=$(pixels "$in")
  target=$(awk -v r="$rate" -v p="$px" 'BEGIN {printf "%d", r * p / 8}')
  case $codec in
    quarn)
      "$quarn" encode "${quarn_opts[@]}" "$in" "$f" -b "$rate"
      echo "$rate" >"$work/$name.quarn.setting" ;;
    jpeg)
      # The quality whose file is the largest that fits the budget (1 if
      # none does): file sizes do not always grow with the quality, so all
      # 100 are tried, once per photo.
      local sizes="$work/$name.jpeg.sizes" q best=1 best_size=-1 s
      if [ ! -f "$sizes" ]; then
        for q in $(seq 1 100); do
          cjpeg -quality "$q" "$in" 2>/dev/null | wc -c | sed "s/^/$q /"
        done >"$sizes"
      fi
      while read -r q s; do
        if [ "$s" -le "$target" ] && [ "$s" -gt "$best_size" ]; then best=$q; best_size=$s; fi
      done <"$sizes"
      cjpeg -quality "$best" -outfile "$f" "$in" 2>/dev/null
      echo "-quality $best" >"$work/$name.jpeg.setting" ;;
    j2k)
      local ratio
      ratio=$(awk -v r="$rate" 'BEGIN {printf "%.4f", 24 / r}')
      opj_compress -i "$in" -o "$f" -r "$ratio" >/dev/null 2>&1
      echo "-r $ratio" >"$work/$name.j2k.setting" ;;
    webp)
      cwebp -quiet -size "$target" -pass 10 "$in" -o "$f"
      echo "-size $target -pass 10" >"$work/$name.webp.setting" ;;
  esac
}

# run_decode CODEC FILE OUT.ppm and run_encode CODEC NAME: one whole-process
# run, with the setting found for the current rate.
run_decode() {
  case $1 in
    quarn) "$quarn" decode "${quarn_opts[@]}" "$2" "$3" ;;
    jpeg) djpeg -outfile "$3" "$2" ;;
    j2k) opj_decompress -i "$2" -o "$3" >/dev/null 2>&1 ;;
    webp) dwebp -quiet -ppm "$2" -o "$3" ;;
  esac
}

run_encode() {
  local codec=$1 name=$2 in="$work/$2.ppm" f="$work/$2.${ext[$1]}" setting
  read -r -a setting <"$work/$name.$codec.setting"
  case $codec in
    quarn) "$quarn" encode "${quarn_opts[@]}" "$in" "$f" -b "${setting[@]}" ;;
    jpeg) cjpeg "${setting[@]}" -outfile "$f" "$in" 2>/dev/null ;;
    j2k) opj_compress -i "$in" -o "$f" "${setting[@]}" >/dev/null 2>&1 ;;
    webp) cwebp -quiet "${setting[@]}" "$in" -o "$f" ;;
  esac
}

psnr() { "$quarn" compare "$1" "$2" | awk '/^PSNR RGB/ {print $3}'; }

# Rate-distortion: mean achieved bpp and PSNR per codec and rate.
echo "Rate and distortion on ${#names[@]} photos..." >&2
rd="$work/rd.txt"
: >"$rd"
for rate in $rates; do
  for codec in "${codecs[@]}"; do
    sum_bpp=0
    sum_psnr=0
    for name in "${names[@]}"; do
      encode "$codec" "$name" "$rate"
      f="$work/$name.${ext[$codec]}"
      run_decode "$codec" "$f" "$work/$name.out.ppm"
      px=$(pixels "$work/$name.ppm")
      bpp=$(awk -v s="$(size "$f")" -v p="$px" 'BEGIN {print 8 * s / p}')
      q=$(psnr "$work/$name.ppm" "$work/$name.out.ppm")
      sum_bpp=$(awk -v a="$sum_bpp" -v b="$bpp" 'BEGIN {print a + b}')
      sum_psnr=$(awk -v a="$sum_psnr" -v b="$q" 'BEGIN {print a + b}')
    done
    awk -v c="$codec" -v r="$rate" -v b="$sum_bpp" -v q="$sum_psnr" -v n="${#names[@]}" \
      'BEGIN {printf "%s %s %.4f %.3f\n", c, r, b / n, q / n}' >>"$rd"
  done
done

# Speed at one rate: settings for it, then timed whole-process runs.
echo "Timing at $speed_rate bpp, $rounds rounds..." >&2
for codec in "${codecs[@]}"; do
  for name in "${names[@]}"; do encode "$codec" "$name" "$speed_rate"; done
done
# The fastest of the rounds, per codec and photo, in microseconds.
declare -A enc_best dec_best
total_px=0
for name in "${names[@]}"; do total_px=$(( total_px + $(pixels "$work/$name.ppm") )); done
for round in $(seq 1 "$rounds"); do
  for name in "${names[@]}"; do
    # Rotate the order each round and photo.
    shift_by=$(( (round + ${#name}) % ${#codecs[@]} ))
    order=("${codecs[@]:$shift_by}" "${codecs[@]:0:$shift_by}")
    for codec in "${order[@]}"; do
      t0=${EPOCHREALTIME/./}
      run_encode "$codec" "$name"
      t1=${EPOCHREALTIME/./}
      key="$codec:$name"
      if [ -z "${enc_best[$key]:-}" ] || [ $(( t1 - t0 )) -lt "${enc_best[$key]}" ]; then
        enc_best[$key]=$(( t1 - t0 ))
      fi
      t0=${EPOCHREALTIME/./}
      run_decode "$codec" "$work/$name.${ext[$codec]}" "$work/$name.$codec.out.ppm"
      t1=${EPOCHREALTIME/./}
      if [ -z "${dec_best[$key]:-}" ] || [ $(( t1 - t0 )) -lt "${dec_best[$key]}" ]; then
        dec_best[$key]=$(( t1 - t0 ))
      fi
    done
  done
done
declare -A enc_us dec_us
for codec in "${codecs[@]}"; do
  enc_us[$codec]=0
  dec_us[$codec]=0
  for name in "${names[@]}"; do
    enc_us[$codec]=$(( ${enc_us[$codec]} + ${enc_best[$codec:$name]} ))
    dec_us[$codec]=$(( ${dec_us[$codec]} + ${dec_best[$codec:$name]} ))
  done
done

mps() { awk -v p="$total_px" -v us="$1" 'BEGIN {printf "%.1f", p / us}'; }
# quarn's time over another's: below 1, quarn is faster.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
ms_per_photo() { awk -v us="$1" -v n="${#names[@]}" 'BEGIN {printf "%.2f", us / n / 1000}'; }
cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
load="$(cut -d' ' -f1-3 /proc/loadavg)"
enc_ratio=$(ratio "${enc_us[quarn]}" "${enc_us[jpeg]}")
dec_ratio=$(ratio "${dec_us[quarn]}" "${dec_us[jpeg]}")
versions="cjpeg $(dpkg-query -W -f='${Version}' libjpeg-turbo-progs 2>/dev/null), OpenJPEG $(dpkg-query -W -f='${Version}' libopenjp2-tools 2>/dev/null), libwebp $(dpkg-query -W -f='${Version}' webp 2>/dev/null)"

mkdir -p "$out"
{
  echo "# quarn and its peers"
  echo
  echo "Made by \`bench/peers.sh\` on $(date -u +%Y-%m-%d): ${#names[@]} $source_name,"
  echo "on $cpu, $(nproc) cores (load average at the end: $load)."
  echo "quarn: instruction set $isa_text; threads: $threads_text."
  echo "The peers run on one thread. Peers: $versions. Bits per pixel count whole files."
  echo
  echo "## Speed at $speed_rate bits per pixel, whole process"
  echo
  echo "Each run starts the program, reads the PPM (or coded) file, codes it and"
  echo "writes the result (decoders write PPM). Runs of all codecs are interleaved,"
  echo "$rounds rounds; each photo counts with its fastest round."
  echo
  echo "- \`quarn encode\` time / \`cjpeg\` time: **$enc_ratio** (target: at most 1.5);"
  echo "  $(ms_per_photo "${enc_us[quarn]}") against $(ms_per_photo "${enc_us[jpeg]}") ms per photo."
  echo "- \`quarn decode\` time / \`djpeg\` time: **$dec_ratio** (target: at most 0.8);"
  echo "  $(ms_per_photo "${dec_us[quarn]}") against $(ms_per_photo "${dec_us[jpeg]}") ms per photo."
  echo
  echo "| codec | encode MP/s | decode MP/s | quarn's encode time / this | quarn's decode time / this |"
  echo "|---|---:|---:|---:|---:|"
  for codec in "${codecs[@]}"; do
    e=$(mps "${enc_us[$codec]}")
    d=$(mps "${dec_us[$codec]}")
    re=$(ratio "${enc_us[quarn]}" "${enc_us[$codec]}")
    rdec=$(ratio "${dec_us[quarn]}" "${dec_us[$codec]}")
    echo "| ${label[$codec]} | $e | $d | $re | $rdec |"
  done
  echo
  echo "## Quality, mean over the photos"
  echo
  echo "PSNR over RGB in dB, at the achieved bits per pixel (in brackets)."
  echo
  printf "| rate |"
  for codec in "${codecs[@]}"; do printf " %s |" "${label[$codec]}"; done
  echo
  printf "|---|"
  for codec in "${codecs[@]}"; do printf -- "---:|"; done
  echo
  for rate in $rates; do
    printf "| %s |" "$rate"
    for codec in "${codecs[@]}"; do
      awk -v c="$codec" -v r="$rate" '$1 == c && $2 == r {printf " %.2f (%.3f) |", $4, $3}' "$rd"
    done
    echo
  done
  echo
  echo "![PSNR against bits per pixel](peers.png)"
} >"$out/peers.md"

# The plot: one line per codec, PSNR against achieved bits per pixel.
for codec in "${codecs[@]}"; do
  awk -v c="$codec" '$1 == c {print $3, $4}' "$rd" >"$work/$codec.dat"
done
terminal="pngcairo size 900,600 font 'sans,11'"
gnuplot -e "set terminal pngcairo" >/dev/null 2>&1 </dev/null || terminal="png size 900,600"
gnuplot <<EOF
set terminal $terminal
set output "$out/peers.png"
set title "Kodak photos, mean PSNR against bits per pixel"
set xlabel "bits per pixel (whole file)"
set ylabel "PSNR over RGB (dB)"
set logscale x 2
set key bottom right
set grid
plot "$work/quarn.dat" with linespoints lw 2 title "quarn", \
     "$work/jpeg.dat" with linespoints title "JPEG (libjpeg-turbo)", \
     "$work/j2k.dat" with linespoints title "JPEG 2000 (OpenJPEG)", \
     "$work/webp.dat" with linespoints title "WebP (libwebp)"
EOF

cat "$out/peers.md"
echo >&2
echo "Wrote $out/peers.md and $out/peers.png" >&2
