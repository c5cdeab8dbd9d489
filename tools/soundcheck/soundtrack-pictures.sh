#!/bin/sh
# Renders data/music/vrimla2.xm once and redraws the soundtrack's pictures in docs/:
# soundtrack-loudness.png (per-order loudness strip, from soundcheck) and
# soundtrack-sonogram.png (sox), and replaces the table in docs/soundtrack.md and README.md.
# Usage: tools/soundcheck/soundtrack-pictures.sh [build directory, default build]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
soundcheck=$build/tools/soundcheck/soundcheck
if [ ! -x "$soundcheck" ]; then
    echo "soundtrack-pictures: no $soundcheck; build the soundcheck target first" >&2
    exit 2
fi
if ! command -v sox >/dev/null 2>&1; then
    echo "soundtrack-pictures: sox is missing (Debian package sox)" >&2
    exit 2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
"$soundcheck" "$root/data/music/vrimla2.xm" "$work/pass.wav" "$root/docs/soundtrack-loudness.png" >"$work/table.md" || status=$?
if [ "$status" -gt 1 ]; then
    cat "$work/table.md"
    exit "$status"
fi
sox "$work/pass.wav" -n remix 1,2 spectrogram -x 1200 -y 257 -z 90 \
    -t "data/music/vrimla2.xm, one pass (order n starts at n x 7.68 s)" -c "sox spectrogram" \
    -o "$root/docs/soundtrack-sonogram.png"
# The table sits between two marker lines of docs/soundtrack.md and of the README.
for doc in "$root/docs/soundtrack.md" "$root/README.md"; do
    awk -v table="$work/table.md" '
        /^<!-- soundcheck table -->$/ { print; while ((getline line < table) > 0) print line; close(table); skipping = 1; next }
        /^<!-- end of soundcheck table -->$/ { skipping = 0 }
        !skipping { print }
    ' "$doc" >"$work/doc.md"
    cp "$work/doc.md" "$doc"
done
cat "$work/table.md" | tail -2
exit "$status"
