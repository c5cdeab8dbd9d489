#!/usr/bin/env bash
# Installs what is missing, builds, and plays the show from the repository root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh
scripts/build.sh
# On sdl12-compat wherever Debian keeps it beside the classic SDL 1.2 (Debian 13 has no other): it
# scales the picture to the screen's height and is fullscreen above a Wayland desktop's panel too.
compat="/usr/lib/$(gcc -print-multiarch)/sdl12-compat"
if [ -d "$compat" ]; then
  export LD_LIBRARY_PATH="$compat${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
fi
exec build/demo
