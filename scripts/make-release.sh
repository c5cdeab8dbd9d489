#!/usr/bin/env bash
# Makes the release archive viewers download: dist/<show>-<version>-linux-x86_64.tar.gz and
# dist/SHA256SUMS. Builds the committed HEAD (not the work tree) from clean folders under
# build-release/: the show in a release build, and SDL2 from Debian's source with every sound and
# display library loaded at run time, so that it needs only the ones the machine has. Two runs on
# the same commit give the same bytes. Run it on Debian 12: its glibc is the archive's floor.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
. scripts/debian-root.sh
started=$SECONDS

fail() {
    echo "make-release: $*" >&2
    exit 1
}
say() { echo "== $*"; }
trap 'echo "make-release: failed at line $LINENO: $BASH_COMMAND" >&2' ERR

command -v git > /dev/null && git rev-parse --verify -q HEAD > /dev/null ||
    fail "needs a git checkout with a commit: the release names its commit"
version=$(git describe --tags --always)
epoch=$(git log -1 --format=%ct HEAD)
export SOURCE_DATE_EPOCH=$epoch LC_ALL=C TZ=UTC
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "make-release: note: uncommitted changes are not in the release; it is made from HEAD"

# Binaries linked against a newer glibc need its newer symbols: check the machine before building.
floor=2.36
glibc=$(getconf GNU_LIBC_VERSION | cut -d' ' -f2)
[ "$(printf '%s\n%s\n' "$glibc" "$floor" | sort -V | tail -n 1)" = "$floor" ] ||
    fail "this machine's glibc $glibc is newer than the archive's floor $floor: make releases on Debian 12"

scripts/install-packages.sh
work=$repo/build-release
# SDL2's configure cannot build in a path with white space in it; such a checkout builds in a
# temporary folder instead (the archive is the same: no build path ends up in it).
if [[ "$work" =~ [[:space:]] ]]; then
    work=$(mktemp -d /tmp/show-release-XXXXXX)
    trap 'rm -rf "$work"' EXIT
    echo "make-release: note: building in $work, since SDL2's configure cannot build under a path with spaces"
fi
rm -rf "$work"
mkdir -p "$work"
git archive --format=tar HEAD | tar -x -C "$work" --one-top-level=source

say "show: release build of $version"
cmake -S "$work/source" -B "$work/show" -DCMAKE_BUILD_TYPE=Release -DSHOW_RELEASE=ON > "$work/show.log" 2>&1 ||
    { tail -n 20 "$work/show.log"; fail "configuring the release build failed"; }
cmake --build "$work/show" -j"$(nproc)" >> "$work/show.log" 2>&1 ||
    { tail -n 20 "$work/show.log"; fail "the release build failed"; }
name=$(awk '$1 == "name" { print $2 }' "$work/show/release-manifest.txt")
mapfile -t static_archives < <(awk '$1 == "static" { print $2 }' "$work/show/release-manifest.txt")

# SDL2 of the version this machine runs, from Debian's source, through apt with lists of its own.
say "SDL2: Debian's source, built with its libraries loaded at run time"
sdl2_version=$(dpkg-query -W -f='${Version}' libsdl2-2.0-0 2>/dev/null) ||
    fail "libsdl2-2.0-0 is not installed (scripts/install-packages.sh installs libsdl1.2-compat, which needs it)"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=$(debian_mirror)
security=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null |
           grep -o 'https\?://[^ ]*debian-security' | head -n 1 || true)
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/sdl2-source"
{
    echo "deb-src $mirror $codename main"
    echo "deb-src $mirror $codename-updates main"
    echo "deb-src ${security:-http://deb.debian.org/debian-security} $codename-security main"
} > "$apt_dir/sources.list"
apt_options=(-q -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
             -o APT::Sandbox::User="$(id -un)")
apt-get "${apt_options[@]}" update > "$work/sdl2.log" 2>&1 ||
    { tail -n 5 "$work/sdl2.log"; fail "apt-get update of Debian's source lists failed"; }
(cd "$work/sdl2-source" && apt-get "${apt_options[@]}" source "libsdl2=$sdl2_version") >> "$work/sdl2.log" 2>&1 ||
    { tail -n 5 "$work/sdl2.log"; fail "apt-get source libsdl2=$sdl2_version failed"; }
for sdl2_source in "$work"/sdl2-source/*/; do sdl2_source=${sdl2_source%/}; done
mkdir -p "$work/sdl2"
# Debian's own configuration, but each sound, display and resampling library dlopened (found on
# the machine or done without) rather than linked; nothing of fcitx, ibus, sndio, jack, udev,
# hidapi, KMS/DRM or Vulkan. No debug information, no build paths.
(cd "$work/sdl2" &&
 "$sdl2_source/configure" --prefix=/usr --disable-static --enable-shared --disable-rpath \
    CFLAGS="-O2 -fstack-protector-strong -D_FORTIFY_SOURCE=2 -ffile-prefix-map=$sdl2_source/= -ffile-prefix-map=$work/sdl2/=" \
    LDFLAGS="-Wl,-z,relro -Wl,-z,now" \
    --enable-video-x11 --enable-x11-shared --enable-video-wayland --enable-wayland-shared \
    --enable-libdecor --enable-libdecor-shared --enable-video-opengl --enable-video-opengles \
    --enable-alsa --enable-alsa-shared --enable-pulseaudio --enable-pulseaudio-shared \
    --enable-pipewire --enable-pipewire-shared --enable-libsamplerate --enable-libsamplerate-shared \
    --enable-dbus --disable-jack --disable-sndio --disable-esd --disable-arts --disable-nas \
    --disable-fusionsound --disable-video-kmsdrm --disable-video-vulkan --disable-video-directfb \
    --disable-fcitx --disable-ibus --disable-hidapi --disable-libudev \
    --enable-vendor-info="$name release" &&
 make -j"$(nproc)") >> "$work/sdl2.log" 2>&1 ||
    { tail -n 20 "$work/sdl2.log"; fail "building SDL2 failed"; }

# The archive's folder: the launcher alone at the top, the show in bin/, its libraries in lib/.
folder=$name-$version-linux-x86_64
stage=$work/stage/$folder
say "packing $folder"
mkdir -p "$stage/bin" "$stage/lib" "$stage/licences"
cp "$work/show/release/$name" "$stage/$name"
cp "$work/show/$name" "$stage/bin/$name"
strip --strip-all "$stage/$name" "$stage/bin/$name"
cp -r "$work/source/data" "$work/source/Data" "$stage/"
cp "$work/source/release/screenshot.png" "$stage/screenshot.png"

# Libraries from the system: glibc, GL, X11, and those the GL driver and the desktop load too (an
# older copy of ours would be found first and break them). Everything else the show needs, and
# everything that needs, is packed; SDL 1.2 is sdl12-compat, which loads SDL2 at run time.
is_system_library() {
    case $1 in
        libc.so.6 | libm.so.6 | libdl.so.2 | libpthread.so.0 | librt.so.1 | ld-linux-x86-64.so.2) ;;
        libGL.so.1 | libX11.so.6 | libstdc++.so.6 | libgcc_s.so.1 | libz.so.1) ;;
        *) return 1 ;;
    esac
}
find_library_file() {
    ldconfig -p | awk -v n="$1" '$1 == n && /x86-64/ && !found { print $NF; found = 1 }'
}
# Debian 12 keeps sdl12-compat in a folder of its own; the classic library is not packed.
find_sdl12_compat() {
    local file
    for file in /usr/lib/x86_64-linux-gnu/sdl12-compat/libSDL-1.2.so.0 "$(find_library_file libSDL-1.2.so.0)"; do
        [ -f "$file" ] && grep -q -a SDL12COMPAT_ "$file" && { echo "$file"; return; }
    done
}
needed_libraries() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
declare -A packed=()
queue=($(needed_libraries "$stage/bin/$name"))
while [ ${#queue[@]} -gt 0 ]; do
    soname=${queue[0]}
    queue=("${queue[@]:1}")
    is_system_library "$soname" || [ -n "${packed[$soname]:-}" ] && continue
    if [ "$soname" = libSDL-1.2.so.0 ]; then
        file=$(find_sdl12_compat)
        [ -n "$file" ] || fail "no sdl12-compat here (Debian's libsdl1.2-compat)"
    else
        file=$(find_library_file "$soname")
        [ -n "$file" ] && [ -f "$file" ] || fail "the show needs $soname, which this machine does not have"
    fi
    cp "$(readlink -f "$file")" "$stage/lib/$soname"
    packed[$soname]=$(readlink -f "$file")
    queue+=($(needed_libraries "$file"))
done
[ -n "${packed[libSDL-1.2.so.0]:-}" ] || fail "the show does not link SDL 1.2"
sdl2_file=$work/sdl2/build/.libs/libSDL2-2.0.so.0
[ -f "$sdl2_file" ] || fail "the SDL2 build made no libSDL2-2.0.so.0"
cp "$(readlink -f "$sdl2_file")" "$stage/lib/libSDL2-2.0.so.0"
strip --strip-unneeded "$stage/lib/libSDL2-2.0.so.0"
for soname in $(needed_libraries "$stage/lib/libSDL2-2.0.so.0"); do
    is_system_library "$soname" || fail "SDL2 links $soname, which it should load at run time"
done
# Each library finds its neighbours itself (also for ldd), and LD_LIBRARY_PATH cannot swap them.
for library in "$stage"/lib/*; do
    patchelf --force-rpath --set-rpath '$ORIGIN' "$library"
done

# Licences: each Debian source package that went into the archive, by the copyright file its
# package installs; SDL2's from its source; the font's from the glyph tool.
declare -A sources=()
add_licence() { # file-of-a-package
    local package source version
    package=$(dpkg -S "$1" 2>/dev/null | head -n 1 | cut -d: -f1 || true)
    [ -n "$package" ] || fail "no Debian package holds $1, so no licence for it"
    source=$(dpkg-query -W -f='${source:Package}' "$package")
    version=$(dpkg-query -W -f='${source:Version}' "$package")
    [ -f "/usr/share/doc/$package/copyright" ] ||
        fail "no licence text for $package: /usr/share/doc/$package/copyright is missing"
    cp "/usr/share/doc/$package/copyright" "$stage/licences/$source.txt"
    sources[$source]=$version
}
for soname in "${!packed[@]}"; do add_licence "${packed[$soname]}"; done
for archive in "${static_archives[@]}"; do add_licence "$(readlink -f "$archive")"; done
cp "$sdl2_source/debian/copyright" "$stage/licences/libsdl2.txt"
sources[libsdl2]=$sdl2_version
cp "$work/source/tools/genfont/LICENSE-glyphs.txt" "$stage/licences/font.txt"

# The viewers' text, with this release's version and what it holds.
{
    sed -e "s/@VERSION@/$version/g" -e "s/@NAME@/$name/g" -e "s/@FOLDER@/$folder/g" \
        "$work/source/release/README.txt"
    for source in $(printf '%s\n' "${!sources[@]}" | sort); do
        printf '  %-16s %s\n' "$source" "${sources[$source]}"
    done
} > "$stage/README.txt"

# Nothing may need a glibc newer than the floor the viewers' text promises.
newest=$(for f in "$stage/$name" "$stage/bin/$name" "$stage"/lib/*; do objdump -T "$f"; done |
         grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -n 1)
[ "$(printf '%s\n%s\n' "$newest" "$floor" | sort -V | tail -n 1)" = "$floor" ] ||
    fail "the binaries need glibc $newest, newer than the floor $floor: make releases on Debian 12"
missing=$(cd "$stage" && ldd "$name" "bin/$name" lib/* 2>&1 | grep 'not found' || true)
[ -z "$missing" ] || fail "libraries not found: $(echo $missing)"

# Same bytes from the same commit: sorted entries, the commit's time, no owners, gzip -n.
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$stage/$name" "$stage/bin/$name"
mkdir -p "$repo/dist"
archive=$repo/dist/$folder.tar.gz
tar --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner --format=gnu \
    -C "$work/stage" -cf - "$folder" | gzip -9n > "$archive"
(cd "$repo/dist" && sha256sum -- *.tar.gz > SHA256SUMS)

say "made dist/$folder.tar.gz ($(du -k "$archive" | cut -f1) KiB; unpacked $(du -sk "$stage" | cut -f1) KiB) in $((SECONDS - started)) s"
echo "   sha256 $(sha256sum "$archive" | cut -d' ' -f1)"
echo "   packed: $(cd "$stage/lib" && ls | tr '\n' ' ')"
echo "   static: $(for a in "${static_archives[@]}"; do basename "$a" .a; done | tr '\n' ' ')"
echo "   from the system: glibc (symbols up to $newest; the floor is $floor), libGL, libX11, libstdc++, libgcc_s, libz"
