#!/usr/bin/env bash
# Installs the Debian packages the show, its tools and its tests need; only what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsdl1.2-dev libsdl-image1.2-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev
  libsdl1.2-compat
  libopenmpt-dev libpng-dev
  googletest libgtest-dev
  xvfb xauth xdotool
  weston xwayland x11-xserver-utils
  clang libclang-rt-dev
  sox
  ffmpeg
  pipewire pipewire-pulse wireplumber dbus-daemon
  pulseaudio pulseaudio-utils libasound2-plugins libpulse-dev
  # the release (scripts/make-release.sh): SDL2's build and the archives linked into the show
  patchelf
  libasound2-dev libpipewire-0.3-dev libdbus-1-dev libsamplerate0-dev
  libxext-dev libxcursor-dev libxi-dev libxfixes-dev libxrandr-dev libxss-dev
  libwayland-dev wayland-protocols libxkbcommon-dev libdecor-0-dev libegl-dev libgles-dev
  libtiff-dev libwebp-dev libjpeg-dev liblerc-dev libjbig-dev libzstd-dev liblzma-dev libdeflate-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
# dpkg's own lines go to a log, shown only when something fails.
log=$(mktemp)
if ! { "${as_root[@]}" apt-get update -qq &&
       "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
           apt-get install -y -qq --no-install-recommends "${missing[@]}"; } > "$log" 2>&1; then
    tail -n 30 "$log"
    rm -f "$log"
    echo "install-packages: apt-get failed (its last lines above)"
    exit 1
fi
rm -f "$log"
