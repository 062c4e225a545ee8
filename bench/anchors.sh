#!/usr/bin/env bash
# Times the photo path of the send request against the usual image tools on the same
# files, as interleaved pairs, and prints one table (bench/pairs.py does the timing).
#
#   bench/anchors.sh [BUILD_DIR]       (default: build; needs bin/photo_path_process)
#   PAIRS=N bench/anchors.sh ...        (pairs per ratio, default 21, at least 15)
#   ANCHORS_TSV=FILE bench/anchors.sh   (also writes each figure to FILE as
#                                        "size<TAB>figure<TAB>value" lines, for the
#                                        summary table of ./run bench)
#
# On the 4032x3024 and 3264x2448 photos (EXIF orientation 6) that the benchmark makes
# itself, each ratio is the median of pairwise ratios, anchor then ours, printed with
# their range:
#   djpeg          full decode to /dev/null: the floor; against the photo path (both
#                  files: 1280x1280 at 0.7 and 750x1334 at 0.4) in a fresh process
#                  (start-up included, like the tool) and warm in one process
#   vipsthumbnail  the first file only (1280x1280, no enlarging, auto-rotated, Q=70)
#   convert        ImageMagick: -auto-orient -resize 1280x1280 -quality 70
# Peak memory is the fresh process's growth over the process with the photo's bytes
# read, against the size of the fully decoded 32-bit bitmap.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
pairs=${PAIRS:-21}
bench_bin="$build/bin/photo_path_process"
if [[ ! -x "$bench_bin" ]]; then
  echo "no $bench_bin: build the photo_path_process target first" >&2
  exit 1
fi
if ((pairs < 15)); then
  echo "PAIRS=$pairs: a median of fewer than 15 pairs does not hold from run to run" >&2
  exit 1
fi

missing=()
command -v vipsthumbnail > /dev/null || missing+=(libvips-tools)
command -v convert-im6.q16 > /dev/null || command -v magick > /dev/null || missing+=(imagemagick)
command -v djpeg > /dev/null || missing+=(libjpeg-turbo-progs)
if ((${#missing[@]})); then
  # ./run bench installs them (tolerating a package index the registry fails to serve).
  echo "missing packages: ${missing[*]} (./run bench installs them)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t photos < <("$bench_bin" --fixtures="$work" --emit-fixtures)
python3 "$here/pairs.py" "$bench_bin" "$work" "${photos[@]}" --pairs "$pairs" \
  ${ANCHORS_TSV:+--tsv "$ANCHORS_TSV"}
