#!/usr/bin/env bash
# Times the photo path of the send request against the usual image tools on the same
# files, in one run, and prints one table.
#
#   bench/anchors.sh [BUILD_DIR]      (default: build; needs bin/photo_path_bench)
#   RUNS=N bench/anchors.sh ...       (runs per measurement, default 9; medians)
#   ANCHORS_TSV=FILE bench/anchors.sh  (also writes each figure to FILE as
#                                       "size<TAB>figure<TAB>value" lines, for the
#                                       summary table of ./run bench)
#
# Anchors, each on the 4032x3024 and 3264x2448 photos (EXIF orientation 6) that the
# benchmark makes itself:
#   djpeg          full decode to /dev/null: the floor
#   vipsthumbnail  the first file only (1280x1280, no enlarging, auto-rotated, Q=70)
#   convert        ImageMagick: -auto-orient -resize 1280x1280 -quality 70
#   photo path     both files (1280x1280 at 0.7 and 750x1334 at 0.4), measured in a
#                  fresh process per run (startup included, like the tools) and by
#                  Google Benchmark in one process
# Peak memory is the maximum resident set of each process; for the photo path also
# its growth over the process with the photo's bytes read, against the size of the
# fully decoded 32-bit bitmap.
set -euo pipefail

build=${1:-build}
runs=${RUNS:-9}
bench_bin="$build/bin/photo_path_bench"
if [[ ! -x "$bench_bin" ]]; then
  echo "no $bench_bin: build the photo_path_bench target first" >&2
  exit 1
fi

# The ImageMagick program itself: a "convert" earlier on the PATH may be something
# else of the same name.
find_magick() {
  local candidate
  for candidate in magick convert-im6.q16 /usr/bin/convert; do
    if command -v "$candidate" > /dev/null &&
      "$candidate" -version 2> /dev/null | grep -q ImageMagick; then
      echo "$candidate"
      return
    fi
  done
}

missing=()
command -v vipsthumbnail > /dev/null || missing+=(libvips-tools)
[[ -n $(find_magick) ]] || missing+=(imagemagick)
command -v djpeg > /dev/null || missing+=(libjpeg-turbo-progs)
[[ -x /usr/bin/time ]] || missing+=(time)
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" > /dev/null
fi
magick=$(find_magick)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t photos < <("$bench_bin" --fixtures="$work" --emit-fixtures)

# median_ms_and_rss CMD...: runs CMD $runs times; prints "median_ms max_rss_kib".
median_ms_and_rss() {
  local times=() rss=0 start end kib
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$work/rss" "$@" > /dev/null 2>&1
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
    kib=$(tail -1 "$work/rss")
    ((kib > rss)) && rss=$kib
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  awk -v us="$median" -v kib="$rss" 'BEGIN {printf "%.1f %d\n", us / 1000, kib}'
}

# In-process medians from Google Benchmark, in milliseconds, by stored size.
declare -A inprocess
while IFS=, read -r name _ real _; do
  name=${name//\"/}
  [[ $name == *_median ]] || continue
  size=$(sed -E 's|.*/([0-9]+)/([0-9]+)/.*|\1x\2|' <<< "$name")
  inprocess[$size]=$real
done < <("$bench_bin" --fixtures="$work" --benchmark_repetitions="$runs" \
  --benchmark_report_aggregates_only=true --benchmark_format=csv 2> /dev/null)

printf '%-11s %-34s %10s %9s %9s %9s %12s\n' file measurement median_ms x_djpeg x_vips x_magick peak_rss_MiB
for photo in "${photos[@]}"; do
  size=$(sed -E 's|.*photo_([0-9]+x[0-9]+)_.*|\1|' <<< "$photo")
  read -r djpeg_ms djpeg_rss < <(median_ms_and_rss djpeg -outfile /dev/null "$photo")
  read -r vips_ms vips_rss < <(median_ms_and_rss vipsthumbnail "$photo" --size '1280x1280>' \
    -o "$work/vips.jpg[Q=70]")
  read -r magick_ms magick_rss < <(median_ms_and_rss "$magick" "$photo" -auto-orient \
    -resize 1280x1280 -quality 70 "$work/magick.jpg")
  read -r ours_ms ours_rss < <(median_ms_and_rss "$bench_bin" --fixtures="$work" \
    --peak-memory="$size")
  "$bench_bin" --fixtures="$work" --peak-memory="$size" > "$work/memory"
  growth=$(awk '/^growth_kib/ {print $2}' "$work/memory")
  bitmap=$(awk '/^decoded_bitmap_kib/ {print $2}' "$work/memory")
  ours_inproc=${inprocess[$size]:-nan}
  if [[ -n ${ANCHORS_TSV:-} ]]; then
    printf '%s\t%s\t%s\n' "$size" djpeg_ms "$djpeg_ms" "$size" vips_ms "$vips_ms" \
      "$size" magick_ms "$magick_ms" "$size" process_ms "$ours_ms" "$size" inprocess_ms \
      "$ours_inproc" "$size" growth_kib "$growth" "$size" bitmap_kib "$bitmap" >> "$ANCHORS_TSV"
  fi

  row() {  # label ms rss
    awk -v f="$size" -v l="$1" -v ms="$2" -v rss="$3" -v d="$djpeg_ms" -v v="$vips_ms" \
      -v m="$magick_ms" 'BEGIN {printf "%-11s %-34s %10.1f %9.2f %9.2f %9.2f %12.1f\n",
        f, l, ms, ms / d, ms / v, ms / m, rss / 1024}'
  }
  row "djpeg full decode (floor)" "$djpeg_ms" "$djpeg_rss"
  row "vipsthumbnail, first file" "$vips_ms" "$vips_rss"
  row "convert, first file" "$magick_ms" "$magick_rss"
  row "photo path, both files, process" "$ours_ms" "$ours_rss"
  awk -v f="$size" -v ms="$ours_inproc" -v d="$djpeg_ms" -v v="$vips_ms" -v m="$magick_ms" \
    'BEGIN {printf "%-11s %-34s %10.1f %9.2f %9.2f %9.2f %12s\n", f,
      "photo path, both files, in-process", ms, ms / d, ms / v, ms / m, "-"}'
  awk -v f="$size" -v g="$growth" -v b="$bitmap" 'BEGIN {printf "%-11s %-34s %10s %9s %9s %9s %12.1f  (%.2f of the %.1f MiB bitmap)\n",
    f, "photo path, peak growth", "-", "-", "-", "-", g / 1024, g / b, b / 1024}'
done
echo "goal: photo path (both files) at most 1.25 x djpeg; peak growth under 0.25 of the bitmap"
