#!/usr/bin/env bash
# Checks a release archive the way a viewer's machine runs it. The archive: one folder, exactly one
# executable at its top, only plain files and folders, its line in SHA256SUMS (when one lies
# beside it) right. Then, in a minimal Debian 12 root and a minimal Debian 13 root (debootstrap
# from the archive this machine's apt sources name) that hold only a desktop's base libraries
# (GL with Mesa's drivers, the X11 client libraries) and Xvfb, none of the show's own: ldd finds
# every library of every binary in the archive; the launcher, started from another folder under an
# X server of its own with SDL's dummy audio, plays the show (its "Go part" lines); SIGTERM ends it
# with status 0 within two seconds.
#   scripts/check-release.sh ARCHIVE        (needs root; re-runs itself with sudo)
# One "check-release: FAILED" line and status 1 on any problem, 2 on bad usage. RELEASES overrides
# the roots checked (default "bookworm trixie"); KEEP_ROOT=1 keeps them for a look afterwards.
set -euo pipefail
if [ $# -ne 1 ] || [ ! -f "$1" ] || [ ! -r "$1" ]; then
    echo "usage: scripts/check-release.sh ARCHIVE (a readable dist/*.tar.gz)" >&2
    exit 2
fi
archive=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
repo=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
    exec sudo RELEASES="${RELEASES:-}" KEEP_ROOT="${KEEP_ROOT:-}" "$0" "$archive"
fi
. "$repo/scripts/debian-root.sh"
started=$SECONDS
current=archive
unpacked=
roots=()
cleanup() {
    local root
    [ -z "$unpacked" ] || rm -rf "$unpacked"
    for root in "${roots[@]}"; do debian_root_release "$root" > /dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
fail() {
    echo "check-release: FAILED [$current]: $*" >&2
    exit 1
}
say() { echo "[$current] $*"; }
trap 'echo "check-release: FAILED [$current]: line $LINENO: $BASH_COMMAND" >&2' ERR

# The archive itself.
listing=$(tar -tvzf "$archive" 2> /dev/null) && names=$(tar -tzf "$archive" 2> /dev/null) ||
    fail "$(basename "$archive") is not a readable .tar.gz"
folder=$(sed -n '1s|/.*||p' <<< "$names")
[ -n "$folder" ] && [ "$folder" != . ] && [ "$folder" != .. ] || fail "no top folder"
awk -v f="$folder" 'index($0, f "/") != 1 && $0 != f { bad = 1 } END { exit !bad }' <<< "$names" &&
    fail "entries outside the one folder $folder/"
grep -q -e '^/' -e '^\.\./' -e '/\.\./' -e '/\.\.$' <<< "$names" && fail "absolute or .. paths"
awk '$1 !~ /^[-d]/ { bad = 1 } END { exit !bad }' <<< "$listing" && fail "entries other than plain files and folders"
sums=$(dirname "$archive")/SHA256SUMS
if [ -f "$sums" ]; then
    line=$(grep -F " $(basename "$archive")" "$sums" || true)
    [ -n "$line" ] || fail "SHA256SUMS beside it has no line for $(basename "$archive")"
    [ "${line%% *}" = "$(sha256sum "$archive" | cut -d' ' -f1)" ] || fail "its SHA256 differs from SHA256SUMS"
fi
unpacked=$(mktemp -d)
tar -xzf "$archive" -C "$unpacked"
mapfile -t executables < <(find "$unpacked/$folder" -mindepth 1 -maxdepth 1 -type f -perm -u+x -printf '%f\n')
rm -rf "$unpacked"
[ ${#executables[@]} -eq 1 ] || fail "${#executables[@]} executables at the top of $folder/, not one: ${executables[*]}"
launcher=${executables[0]}
say "$(basename "$archive"): $folder/$launcher, $(echo "$listing" | wc -l) entries"

# Run inside each root: the archive in a folder whose name has spaces, the launcher from /tmp.
read -r -d '' inside << 'EOF' || true
set -u
launcher=$1
folder=$(dirname "$launcher")
fail() { echo "FAILED: $*"; exit 1; }
for binary in "$launcher" "$folder"/bin/* "$folder"/lib/*; do
    out=$(ldd "$binary" 2>&1) || fail "ldd ${binary#$folder/}: $out"
    missing=$(echo "$out" | awk '/not found/ { printf "%s%s", sep, $1; sep = " " }')
    [ -z "$missing" ] || fail "ldd ${binary#$folder/}: not found: $missing"
done
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3> /tmp/display > /dev/null 2> /tmp/xvfb.log &
xvfb=$!
trap 'kill $xvfb 2> /dev/null' EXIT
for i in $(seq 100); do [ -s /tmp/display ] && break; sleep 0.1; done
[ -s /tmp/display ] || fail "Xvfb did not start: $(tail -n 1 /tmp/xvfb.log)"
cd /tmp
SDL_AUDIODRIVER=dummy DISPLAY=:$(cat /tmp/display) stdbuf -oL "$launcher" > /tmp/show.out 2> /tmp/show.err &
show=$!
for i in $(seq 900); do
    grep -q '^Go part 1$' /tmp/show.out && break
    kill -0 $show 2> /dev/null || break
    sleep 0.1
done
if ! grep -q '^Go part 1$' /tmp/show.out; then
    kill -KILL $show 2> /dev/null
    wait $show
    fail "the show did not reach part 1 (status $?): $(tail -n 1 /tmp/show.err) $(tail -n 1 /tmp/show.out)"
fi
expected=$(printf 'Init\nFMOD .. working\nGo part 0\nGo part 1')
got=$(grep -e '^Init$' -e '^FMOD' -e '^Go part' /tmp/show.out | head -n 4)
[ "$got" = "$expected" ] || fail "its lines were not Init, FMOD .. working, Go part 0, Go part 1: $(echo $got)"
# Every library of the archive is mapped from there; what the show took from the system besides
# (this root has nothing of the show's own) is listed, the check's own stdbuf left out.
mapped=$(sed -n 's|^[^/]*\(/.*\.so[.0-9]*\)$|\1|p' /proc/$show/maps | sort -u)
for library in "$folder"/lib/*; do
    grep -q -x -F "$library" <<< "$mapped" || fail "the show did not map ${library#$folder/}"
done
system=$(grep -v -F "$folder/" <<< "$mapped" | grep -v libstdbuf | sed 's|.*/||' | tr '\n' ' ')
packed=$(grep -F "$folder/" <<< "$mapped" | sed 's|.*/||' | tr '\n' ' ')
stopped=$(date +%s%N)
kill -TERM $show
( sleep 3; kill -KILL $show 2> /dev/null ) > /dev/null 2>&1 &
watchdog=$!
wait $show
status=$?
took=$(( ($(date +%s%N) - stopped) / 1000000 ))
kill $watchdog 2> /dev/null
echo "libraries from the archive: $packed"
echo "libraries from the system: $system"
[ $status -eq 0 ] || fail "SIGTERM ended it with status $status after $took ms: $(tail -n 1 /tmp/show.err)"
[ $took -le 2000 ] || fail "SIGTERM took $took ms to end it"
echo "played to part 1; SIGTERM ended it with status 0 in $took ms"
EOF

desktop=libgl1,libgl1-mesa-dri,libx11-6,libxext6,libxcursor1,libxi6,libxrandr2,libxfixes3,libxss1,xvfb
for release in ${RELEASES:-bookworm trixie}; do
    current=$release
    step=$SECONDS
    root=$(mktemp -d "/var/tmp/show-check-$release-XXXXXX")
    roots+=("$root")
    debian_root_make "$release" "$root" "$desktop" | sed "s/^/[$release] /" ||
        fail "debootstrap of a minimal $release root failed"
    say "minimal root with GL, X11 and Xvfb in $((SECONDS - step)) s"
    debian_root_mount "$root"
    place="/opt/a folder with spaces"
    mkdir -p "$root$place"
    tar -xzf "$archive" -C "$root$place"
    echo "$inside" > "$root/check-release-inside.sh"
    step=$SECONDS
    # In the background, so that a signal to this script is taken at once.
    debian_root_run "$root" /bin/bash /check-release-inside.sh "$place/$folder/$launcher" > "$root/check.log" 2>&1 &
    wait $! || true
    out=$(cat "$root/check.log")
    sed -e '/^FAILED/d' -e "s/^/[$release] /" <<< "$out"
    failure=$(echo "$out" | sed -n 's/^FAILED: //p')
    [ -z "$failure" ] || fail "$failure"
    [[ $out == *"played to part 1"* ]] || fail "the check inside the root stopped early"
    say "passed in $((SECONDS - step)) s"
    debian_root_release "$root" || fail "could not release $root"
done
current=all
say "$(basename "$archive") passed on ${RELEASES:-bookworm trixie} in $((SECONDS - started)) s"
