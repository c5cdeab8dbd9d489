#!/usr/bin/env bash
# Builds the ASC and VUE fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehavior-
# Sanitizer) in their own folder and runs each for the given number of seconds (default 60).
# Exits non-zero when a target finds a crash, a leak or a hang; the input is kept as crash-*.
# FUZZ_BUILD_DIR overrides the folder (default fuzz-build/ in the repository).
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_BUILD_DIR:-$root/fuzz-build}
mkdir -p "$out"

flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -Wall -Wextra -Werror -I"$root/src" -I"$root/fuzz")
loaders=("$root/src/assets/contentfiles.cpp" "$root/src/assets/meshes.cpp"
         "$root/src/assets/camerapaths.cpp" "$root/fuzz/fuzzinput.cpp")
libs=$(pkg-config --libs glu gl 2>/dev/null || echo "-lGLU -lGL")

status=0
for kind in asc vue; do
    upper=${kind^^}
    clang++ "${flags[@]}" "$root/fuzz/fuzz_$kind.cpp" "${loaders[@]}" $libs -o "$out/fuzz_$kind"

    # Seeds: the hand-written cases and every committed content file of this kind.
    seeds="$out/seeds-$kind"
    rm -rf "$seeds"
    mkdir -p "$seeds" "$out/corpus-$kind"
    cp "$root/fuzz/seeds/$kind/"* "$seeds/"
    for file in "$root"/data/meshes/*."$upper"; do
        [ -e "$file" ] && cp "$file" "$seeds/"
    done

    echo "fuzz_$kind: $seconds s"
    if ! (cd "$out" && TMPDIR="$out" ASAN_OPTIONS=detect_leaks=1 ./"fuzz_$kind" \
            -max_total_time="$seconds" -max_len=32768 -timeout=20 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$out/crash-$kind-" \
            "corpus-$kind" "$seeds" > "$out/fuzz_$kind.log" 2>&1); then
        echo "fuzz_$kind FAILED; the end of $out/fuzz_$kind.log:"
        tail -n 40 "$out/fuzz_$kind.log"
        status=1
    else
        grep -E '^stat::number_of_executed_units' "$out/fuzz_$kind.log" || true
    fi
done
exit $status
