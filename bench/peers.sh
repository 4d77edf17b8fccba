#!/usr/bin/env bash
# bench/peers.sh: quarn against the image codecs people already use, in one
# run, on the same PPM files at matched bits per pixel.
#
#   JPEG       cjpeg / djpeg                 (libjpeg-turbo-progs)
#   JPEG 2000  opj_compress / opj_decompress (libopenjp2-tools)
#   WebP       cwebp / dwebp                 (webp)
#
# For every rate it finds, per photo, the setting of each peer that comes
# closest to the rate from below (JPEG quality by bisection; WebP by its
# target size; JPEG 2000 by its compression ratio), and measures the
# achieved bits per pixel (whole files) and PSNR over RGB. Then, at one rate,
# it times every encoder and decoder as whole processes (start, file in, code,
# file out), interleaved photo by photo and round by round in a rotating order
# so that drift of the machine falls on every codec alike, and reports
# megapixels per second and quarn's ratio to each peer.
#
# Writes docs/peers.md (the tables) and docs/peers.png (PSNR against bits per
# pixel, the mean over the photos, every codec) with gnuplot.
#
# usage: bench/peers.sh [--kodak DIR] [--rates "0.1 0.25 0.5 1 2"]
#                       [--speed-rate 0.5] [--rounds 5] [--photos N]
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
out="$root/docs"
while [ $# -gt 0 ]; do
  case "$1" in
    --kodak) kodak="$2"; shift 2 ;;
    --rates) rates="$2"; shift 2 ;;
    --speed-rate) speed_rate="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --photos) photos="$2"; shift 2 ;;
    --quarn) quarn="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "usage: bench/peers.sh [--kodak DIR] [--rates \"R ...\"] [--speed-rate R]" \
            "[--rounds N] [--photos N] [--quarn PATH] [--out DIR]" >&2; exit 2 ;;
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
      "$quarn" encode "$in" "$f" -b "$rate"
      echo "$rate" >"$work/$name.quarn.setting" ;;
    jpeg)
      # The highest quality whose file fits the budget (1 if none does).
      local lo=1 hi=100 mid
      while [ $lo -lt $hi ]; do
        mid=$(( (lo + hi + 1) / 2 ))
        cjpeg -quality $mid -outfile "$f" "$in" 2>/dev/null
        if [ "$(size "$f")" -le "$target" ]; then lo=$mid; else hi=$((mid - 1)); fi
      done
      cjpeg -quality $lo -outfile "$f" "$in" 2>/dev/null
      echo "-quality $lo" >"$work/$name.jpeg.setting" ;;
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
    quarn) "$quarn" decode "$2" "$3" ;;
    jpeg) djpeg -outfile "$3" "$2" ;;
    j2k) opj_decompress -i "$2" -o "$3" >/dev/null 2>&1 ;;
    webp) dwebp -quiet -ppm "$2" -o "$3" ;;
  esac
}

run_encode() {
  local codec=$1 name=$2 in="$work/$2.ppm" f="$work/$2.${ext[$1]}" setting
  read -r -a setting <"$work/$name.$codec.setting"
  case $codec in
    quarn) "$quarn" encode "$in" "$f" -b "${setting[@]}" ;;
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
declare -A enc_us dec_us
for codec in "${codecs[@]}"; do enc_us[$codec]=0; dec_us[$codec]=0; done
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
      enc_us[$codec]=$(( ${enc_us[$codec]} + t1 - t0 ))
      t0=${EPOCHREALTIME/./}
      run_decode "$codec" "$work/$name.${ext[$codec]}" "$work/$name.$codec.out.ppm"
      t1=${EPOCHREALTIME/./}
      dec_us[$codec]=$(( ${dec_us[$codec]} + t1 - t0 ))
    done
  done
done

mps() { awk -v p="$total_px" -v r="$rounds" -v us="$1" 'BEGIN {printf "%.1f", p * r / us}'; }
cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
load="$(cut -d' ' -f1-3 /proc/loadavg)"
versions="cjpeg $(dpkg-query -W -f='${Version}' libjpeg-turbo-progs 2>/dev/null), OpenJPEG $(dpkg-query -W -f='${Version}' libopenjp2-tools 2>/dev/null), libwebp $(dpkg-query -W -f='${Version}' webp 2>/dev/null)"

mkdir -p "$out"
{
  echo "# quarn and its peers"
  echo
  echo "Made by \`bench/peers.sh\` on $(date -u +%Y-%m-%d): ${#names[@]} $source_name,"
  echo "single-threaded, on $cpu (load average at the end: $load)."
  echo "Peers: $versions. Bits per pixel count whole files."
  echo
  echo "## Speed at $speed_rate bits per pixel, whole process"
  echo
  echo "Each run starts the program, reads the PPM (or coded) file, codes it and"
  echo "writes the result; runs of all codecs are interleaved, $rounds rounds."
  echo
  echo "| codec | encode MP/s | decode MP/s | quarn encode / this | quarn decode / this |"
  echo "|---|---:|---:|---:|---:|"
  qe=$(mps "${enc_us[quarn]}")
  qd=$(mps "${dec_us[quarn]}")
  for codec in "${codecs[@]}"; do
    e=$(mps "${enc_us[$codec]}")
    d=$(mps "${dec_us[$codec]}")
    re=$(awk -v a="$qe" -v b="$e" 'BEGIN {printf "%.2f", a / b}')
    rdec=$(awk -v a="$qd" -v b="$d" 'BEGIN {printf "%.2f", a / b}')
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
