#!/usr/bin/env bash
# The README's animated preview, cut from a capture made by `render video`: a few seconds from just
# before one of the show's white flashes. The flash is found in the capture itself (a frame white
# all over), so the cut follows whatever tempo the module has.
#
#   tools/render/make-preview.sh CAPTURE [OUT.webp] [FLASH] [SECONDS]
#
# FLASH counts the flashes from 1 (parts 8 to 16 open with one each, 38 to 41 beat four each);
# the default 2 cuts from the end of the tree field's first camera move through the flash into its
# second. SECONDS defaults to 4.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 4 ]; then
  echo "usage: $0 CAPTURE [OUT.webp] [FLASH] [SECONDS]" >&2
  exit 2
fi
capture=$1
out=${2:-docs/show-preview.webp}
flash=${3:-2}
seconds=${4:-4}
[ -r "$capture" ] || { echo "make-preview: cannot read $capture" >&2; exit 1; }

# Negated, a white frame is black: blackdetect logs every run of them with its start time. The
# decoding is stopped once the wanted flash is logged.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
ffmpeg -hide_banner -nostdin -i "$capture" -an \
  -vf "scale=80:60,negate,blackdetect=d=0:pix_th=0.1:pic_th=0.98" -f null - 2>"$log" &
decoder=$!
while kill -0 "$decoder" 2>/dev/null && [ "$(grep -c black_start: "$log")" -lt "$flash" ]; do
  sleep 0.2
done
kill "$decoder" 2>/dev/null || true
wait "$decoder" 2>/dev/null || true
start=$(grep -o 'black_start:[0-9.]*' "$log" | sed -n "${flash}p" | cut -d: -f2)
if [ -z "$start" ]; then
  echo "make-preview: $capture has fewer than $flash white flashes" >&2
  exit 1
fi
from=$(awk -v t="$start" 'BEGIN { t -= 0.5; printf "%.3f", t < 0 ? 0 : t }')
ffmpeg -hide_banner -nostdin -loglevel error -y -ss "$from" -t "$seconds" -i "$capture" -an \
  -vf "fps=20,scale=400:300:flags=lanczos" -c:v libwebp -quality 70 -loop 0 -map_metadata -1 \
  -fflags +bitexact "$out"
echo "make-preview: flash $flash at ${start} s; ${seconds} s from ${from} s -> $out ($(stat -c %s "$out") bytes)"
