#!/usr/bin/env bash
# Installs what is missing, builds, and plays the show from the repository root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh
scripts/build.sh
exec build/demo
