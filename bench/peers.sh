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
# which other work on a shared machine disturbs least.
#
# quarn runs once per instruction set and thread count asked for (--isa
# and --threads take lists: --threads "1 2"), each as a codec of its own in
# the same rounds; the peers run as they are, on one thread. The report
# names the machine, and each quarn row its instruction set and threads.
#
# It prints, ready to paste into docs/peers.md, a table of quarn's times
# against cjpeg's and djpeg's (the targets: encode at most 1.5 times
# cjpeg's time, decode at most 0.8 times djpeg's), one of every codec's
# speed, and, unless --speed-only, one of quality; it writes them, with
# the plot peers.png (PSNR against bits per pixel), into the folder --out
# names (default build/peers). Quality does not depend on the machine.
#
# usage: bench/peers.sh [--kodak DIR] [--rates "0.1 0.25 0.5 1 2"]
#                       [--speed-rate 0.5] [--rounds 5] [--photos N]
#                       [--isa "ISA ..."] [--threads "N ..."] [--speed-only]
#                       [--quarn PATH] [--out DIR]
#   ISA: scalar, sse2, avx2 or avx512 (a cap: never above the processor's)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

kodak="$root/../shared/kodak"
rates="0.1 0.25 0.5 1 2"
speed_rate=0.5
rounds=5
photos=24
quarn=""
isas=""
thread_counts=""
speed_only=0
out="$root/build/peers"
usage() {
  echo "usage: bench/peers.sh [--kodak DIR] [--rates \"R ...\"] [--speed-rate R]" \
       "[--rounds N] [--photos N] [--isa \"ISA ...\"] [--threads \"N ...\"] [--speed-only]" \
       "[--quarn PATH] [--out DIR]" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --kodak) kodak="$2"; shift 2 ;;
    --rates) rates="$2"; shift 2 ;;
    --speed-rate) speed_rate="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --photos) photos="$2"; shift 2 ;;
    --isa) isas="${2//,/ }"; shift 2 ;;
    --threads) thread_counts="${2//,/ }"; shift 2 ;;
    --speed-only) speed_only=1; shift ;;
    --quarn) quarn="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) usage ;;
  esac
done

packages=(libjpeg-turbo-progs libopenjp2-tools webp netpbm)
[ "$speed_only" -eq 0 ] && packages+=(gnuplot-nox)
scripts/deps.sh "${packages[@]}"
if [ -z "$quarn" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build -j"$(nproc)" --target quarn >/dev/null
  quarn="$root/build/tools/quarn"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The machine, as every figure names it.
cpu_flags="$(grep -m1 '^flags' /proc/cpuinfo || true)"
best_isa=sse2
[[ " $cpu_flags " == *" avx2 "* ]] && best_isa=avx2
[[ " $cpu_flags " == *" avx512f "* ]] && best_isa=avx512
cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
family="$(grep -m1 '^cpu family' /proc/cpuinfo | cut -d: -f2 | tr -d ' ')"
model="$(grep -m1 '^model[[:space:]]*:' /proc/cpuinfo | cut -d: -f2 | tr -d ' ')"
mhz="$(grep -m1 '^cpu MHz' /proc/cpuinfo | cut -d: -f2 | tr -d ' ' | cut -d. -f1)"
machine="$cpu (family $family model $model, $mhz MHz), $(nproc) cores, best ISA $best_isa"
machine_short="$cpu, $(nproc) cores, $best_isa"

# quarn's runs: one per instruction set and thread count, where the tool
# takes those options.
has_isa=0
has_threads=0
"$quarn" encode --help 2>&1 | grep -q -- '--isa' && has_isa=1
"$quarn" encode --help 2>&1 | grep -q -- '--threads' && has_threads=1
if [ -n "$isas" ] && [ "$has_isa" -eq 0 ]; then
  echo "peers.sh: this quarn has no --isa; it runs with the processor's best" >&2
  isas=""
fi
if [ -n "$thread_counts" ] && [ "$has_threads" -eq 0 ]; then
  echo "peers.sh: this quarn has no --threads; it codes on one thread" >&2
  thread_counts=""
fi
variants=()
declare -A quarn_opts vlabel visa vthreads
n=0
for isa in ${isas:-best}; do
  for threads in ${thread_counts:-default}; do
    n=$(( n + 1 ))
    v="quarn$n"
    variants+=("$v")
    opts=""
    if [ "$isa" = best ]; then
      visa[$v]="$best_isa"
    else
      opts="--isa $isa"
      visa[$v]="$isa"
      [ "$isa" = avx512 ] && [ "$best_isa" != avx512 ] && visa[$v]="$best_isa (asked avx512)"
      [ "$isa" = avx2 ] && [ "$best_isa" = sse2 ] && visa[$v]="sse2 (asked avx2)"
    fi
    if [ "$threads" = default ]; then
      if [ "$has_threads" -eq 1 ]; then
        vthreads[$v]="$(nproc) (default)"
      else
        vthreads[$v]="1"
      fi
    else
      opts="$opts --threads $threads"
      vthreads[$v]="$threads"
      [ "$threads" = 0 ] && vthreads[$v]="$(nproc) (--threads 0)"
    fi
    quarn_opts[$v]="$opts"
    vlabel[$v]="quarn, ${visa[$v]}, ${vthreads[$v]} thread(s)"
  done
done
[ ${#variants[@]} -gt 1 ] || vlabel[quarn1]="quarn"

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

peers=(jpeg j2k webp)
codecs=("${variants[@]}" "${peers[@]}")
declare -A label=([jpeg]="JPEG (libjpeg-turbo)" [j2k]="JPEG 2000 (OpenJPEG)" [webp]="WebP (libwebp)")
declare -A ext=([jpeg]=jpg [j2k]=j2k [webp]=webp)
for v in "${variants[@]}"; do label[$v]="${vlabel[$v]}"; ext[$v]=qrn; done

pixels() { head -c 64 "$1" | tr -s ' \n\t' ' ' | awk '{print $2 * $3}'; }
size() { stat -c %s "$1"; }
coded() { echo "$work/$2.$1.${ext[$1]}"; }

# encode CODEC NAME RATE: the coded file for that rate, with the peer's
# setting found for it (kept in $work/NAME.CODEC.setting).
encode() {
  local codec=$1 name=$2 rate=$3 in="$work/$2.ppm" f
  local px target opts
  f="$(coded "$codec" "$name")"
  px=$(pixels "$in")
  target=$(awk -v r="$rate" -v p="$px" 'BEGIN {printf "%d", r * p / 8}')
  case $codec in
    quarn*)
      read -r -a opts <<<"${quarn_opts[$codec]}"
      "$quarn" encode "${opts[@]}" "$in" "$f" -b "$rate"
      echo "$rate" >"$work/$name.$codec.setting" ;;
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
  local opts
  case $1 in
    quarn*) read -r -a opts <<<"${quarn_opts[$1]}"; "$quarn" decode "${opts[@]}" "$2" "$3" ;;
    jpeg) djpeg -outfile "$3" "$2" ;;
    j2k) opj_decompress -i "$2" -o "$3" >/dev/null 2>&1 ;;
    webp) dwebp -quiet -ppm "$2" -o "$3" ;;
  esac
}

run_encode() {
  local codec=$1 name=$2 in="$work/$2.ppm" f setting opts
  f="$(coded "$codec" "$name")"
  read -r -a setting <"$work/$name.$codec.setting"
  case $codec in
    quarn*)
      read -r -a opts <<<"${quarn_opts[$codec]}"
      "$quarn" encode "${opts[@]}" "$in" "$f" -b "${setting[@]}" ;;
    jpeg) cjpeg "${setting[@]}" -outfile "$f" "$in" 2>/dev/null ;;
    j2k) opj_compress -i "$in" -o "$f" "${setting[@]}" >/dev/null 2>&1 ;;
    webp) cwebp -quiet "${setting[@]}" "$in" -o "$f" ;;
  esac
}

psnr() { "$quarn" compare "$1" "$2" | awk '/^PSNR RGB/ {print $3}'; }

# Rate-distortion: mean achieved bpp and PSNR per codec and rate (quarn's
# first run only: every run gives the same bytes).
rd="$work/rd.txt"
: >"$rd"
rd_codecs=(quarn1 "${peers[@]}")
if [ "$speed_only" -eq 0 ]; then
  echo "Rate and distortion on ${#names[@]} photos..." >&2
  for rate in $rates; do
    for codec in "${rd_codecs[@]}"; do
      sum_bpp=0
      sum_psnr=0
      for name in "${names[@]}"; do
        encode "$codec" "$name" "$rate"
        f="$(coded "$codec" "$name")"
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
fi

# Speed at one rate: settings for it, then timed whole-process runs.
echo "Timing at $speed_rate bpp, $rounds rounds, ${#codecs[@]} codecs..." >&2
for codec in "${codecs[@]}"; do
  for name in "${names[@]}"; do encode "$codec" "$name" "$speed_rate"; done
done
# What cjpeg was given: its qualities and the bits per pixel of its files.
jpeg_q="$(for name in "${names[@]}"; do cut -d' ' -f2 "$work/$name.jpeg.setting"; done |
          sort -n | awk '{q[NR] = $1} END {printf "%d to %d, median %d", q[1], q[NR], q[int((NR + 1) / 2)]}')"
jpeg_bpp="$(for name in "${names[@]}"; do
              echo "$(size "$(coded jpeg "$name")") $(pixels "$work/$name.ppm")"
            done | awk '{s += 8 * $1 / $2} END {printf "%.3f", s / NR}')"
load_start="$(cut -d' ' -f1-3 /proc/loadavg)"
# The fastest of the rounds, per codec and photo, in microseconds.
declare -A enc_best dec_best
total_px=0
for name in "${names[@]}"; do total_px=$(( total_px + $(pixels "$work/$name.ppm") )); done
for round in $(seq 1 "$rounds"); do
  for name in "${names[@]}"; do
    # Rotate the order each round and photo.
    shift_by=$(( (round + ${#name} + ${name: -1}) % ${#codecs[@]} ))
    order=("${codecs[@]:$shift_by}" "${codecs[@]:0:$shift_by}")
    for codec in "${order[@]}"; do
      key="$codec:$name"
      # Every run writes a new file, as a user's first run does (the last
      # round's files would make quarn wait for the disk before replacing
      # them, which the peers do not).
      rm -f "$(coded "$codec" "$name")" "$work/$name.$codec.out.ppm"
      t0=${EPOCHREALTIME/./}
      run_encode "$codec" "$name"
      t1=${EPOCHREALTIME/./}
      if [ -z "${enc_best[$key]:-}" ] || [ $(( t1 - t0 )) -lt "${enc_best[$key]}" ]; then
        enc_best[$key]=$(( t1 - t0 ))
      fi
      t0=${EPOCHREALTIME/./}
      run_decode "$codec" "$(coded "$codec" "$name")" "$work/$name.$codec.out.ppm"
      t1=${EPOCHREALTIME/./}
      if [ -z "${dec_best[$key]:-}" ] || [ $(( t1 - t0 )) -lt "${dec_best[$key]}" ]; then
        dec_best[$key]=$(( t1 - t0 ))
      fi
    done
  done
done
# Every quarn run gives the same bytes.
for v in "${variants[@]:1}"; do
  for name in "${names[@]}"; do
    cmp -s "$(coded quarn1 "$name")" "$(coded "$v" "$name")" ||
      { echo "peers.sh: ${vlabel[$v]} coded $name differently" >&2; exit 1; }
    cmp -s "$work/$name.quarn1.out.ppm" "$work/$name.$v.out.ppm" ||
      { echo "peers.sh: ${vlabel[$v]} decoded $name differently" >&2; exit 1; }
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
verdict() { awk -v r="$1" -v t="$2" 'BEGIN {print (r <= t ? "met" : "not met")}'; }
load_end="$(cut -d' ' -f1-3 /proc/loadavg)"
day="$(date -u +%Y-%m-%d)"
versions="cjpeg $(dpkg-query -W -f='${Version}' libjpeg-turbo-progs 2>/dev/null), OpenJPEG $(dpkg-query -W -f='${Version}' libopenjp2-tools 2>/dev/null), libwebp $(dpkg-query -W -f='${Version}' webp 2>/dev/null)"

mkdir -p "$out"
rm -f "$out/speed-targets.md" "$out/speed-all.md" "$out/quality.md"
{
  echo "Machine: $machine. Load average $load_start at the start of the timing, $load_end at the end."
  echo "${#names[@]} $source_name, $speed_rate bits per pixel, $rounds interleaved rounds, each photo"
  echo "at its fastest round; whole processes, PPM in and out. cjpeg in its default mode"
  echo "(no -optimize) at qualities $jpeg_q ($jpeg_bpp bpp on average), on one thread."
  echo "Measured $day by \`bench/peers.sh\`."
  echo
  echo "| machine | quarn ISA | quarn threads | encode ms/photo, quarn / cjpeg | encode time ratio (target <= 1.5) | decode ms/photo, quarn / djpeg | decode time ratio (target <= 0.8) |"
  echo "|---|---|---|---:|---:|---:|---:|"
  for v in "${variants[@]}"; do
    er=$(ratio "${enc_us[$v]}" "${enc_us[jpeg]}")
    dr=$(ratio "${dec_us[$v]}" "${dec_us[jpeg]}")
    echo "| $machine_short | ${visa[$v]} | ${vthreads[$v]} |" \
         "$(ms_per_photo "${enc_us[$v]}") / $(ms_per_photo "${enc_us[jpeg]}") | **$er** ($(verdict "$er" 1.5)) |" \
         "$(ms_per_photo "${dec_us[$v]}") / $(ms_per_photo "${dec_us[jpeg]}") | **$dr** ($(verdict "$dr" 0.8)) |"
  done
} >"$out/speed-targets.md"
{
  echo "Every codec in the same rounds ($machine_short; peers on one thread):"
  echo
  echo "| codec | ISA | threads | encode MP/s | decode MP/s | encode ms/photo | decode ms/photo |"
  echo "|---|---|---|---:|---:|---:|---:|"
  for codec in "${codecs[@]}"; do
    case $codec in
      quarn*) isa_cell="${visa[$codec]}"; threads_cell="${vthreads[$codec]}"; name_cell="quarn" ;;
      *) isa_cell="its own"; threads_cell=1; name_cell="${label[$codec]}" ;;
    esac
    echo "| $name_cell | $isa_cell | $threads_cell | $(mps "${enc_us[$codec]}") | $(mps "${dec_us[$codec]}") |" \
         "$(ms_per_photo "${enc_us[$codec]}") | $(ms_per_photo "${dec_us[$codec]}") |"
  done
} >"$out/speed-all.md"

if [ "$speed_only" -eq 0 ]; then
  {
    echo "PSNR over RGB in dB, mean over ${#names[@]} $source_name, at the achieved bits"
    echo "per pixel of whole files (in brackets). Peers: $versions."
    echo
    printf "| rate |"
    for codec in "${rd_codecs[@]}"; do
      [ "$codec" = quarn1 ] && printf " quarn |" || printf " %s |" "${label[$codec]}"
    done
    echo
    printf "|---|"
    for codec in "${rd_codecs[@]}"; do printf -- "---:|"; done
    echo
    for rate in $rates; do
      printf "| %s |" "$rate"
      for codec in "${rd_codecs[@]}"; do
        awk -v c="$codec" -v r="$rate" '$1 == c && $2 == r {printf " %.2f (%.3f) |", $4, $3}' "$rd"
      done
      echo
    done
  } >"$out/quality.md"

  # The plot: one line per codec, PSNR against achieved bits per pixel.
  for codec in "${rd_codecs[@]}"; do
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
plot "$work/quarn1.dat" with linespoints lw 2 title "quarn", \
     "$work/jpeg.dat" with linespoints title "JPEG (libjpeg-turbo)", \
     "$work/j2k.dat" with linespoints title "JPEG 2000 (OpenJPEG)", \
     "$work/webp.dat" with linespoints title "WebP (libwebp)"
EOF
fi

for f in speed-targets.md speed-all.md quality.md; do
  [ -f "$out/$f" ] || continue
  cat "$out/$f"
  echo
done
echo "Wrote the tables into $out (and peers.png unless --speed-only);" \
     "paste them into docs/peers.md under this machine's heading." >&2
