#!/bin/sh
# Renders data/music/vrimla2.xm once and redraws the soundtrack's pictures in docs/:
# soundtrack-loudness.png (per-order loudness strip, from soundcheck) and
# soundtrack-sonogram.png (sox), and replaces the soundcheck table in docs/soundtrack.md and
# README.md and the pacecheck table in docs/soundtrack.md.
# Usage: tools/soundcheck/soundtrack-pictures.sh [build directory, default build]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
soundcheck=$build/tools/soundcheck/soundcheck
pacecheck=$build/tools/pacecheck/pacecheck
for tool in "$soundcheck" "$pacecheck"; do
    if [ ! -x "$tool" ]; then
        echo "soundtrack-pictures: no $tool; build the soundcheck and pacecheck targets first" >&2
        exit 2
    fi
done
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
"$pacecheck" "$root/data/music/vrimla2.xm" "$root" >"$work/pace.md" || status=$?
if [ "$status" -gt 1 ]; then
    cat "$work/pace.md"
    exit "$status"
fi
sox "$work/pass.wav" -n remix 1,2 spectrogram -x 1200 -y 257 -z 90 \
    -t "data/music/vrimla2.xm, one pass (order n starts at n x 3.84 s)" -c "sox spectrogram" \
    -o "$root/docs/soundtrack-sonogram.png"
# A table sits between two marker lines: "<!-- NAME table -->" and "<!-- end of NAME table -->".
replaceTable() { # name, table file, document
    awk -v name="$1" -v table="$2" '
        $0 == "<!-- " name " table -->" { print; while ((getline line < table) > 0) print line; close(table); skipping = 1; next }
        $0 == "<!-- end of " name " table -->" { skipping = 0 }
        !skipping { print }
    ' "$3" >"$work/doc.md"
    cp "$work/doc.md" "$3"
}
for doc in "$root/docs/soundtrack.md" "$root/README.md"; do
    replaceTable soundcheck "$work/table.md" "$doc"
done
replaceTable pace "$work/pace.md" "$root/docs/soundtrack.md"
tail -2 "$work/table.md"
tail -1 "$work/pace.md"
exit "$status"
