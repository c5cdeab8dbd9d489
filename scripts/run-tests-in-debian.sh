#!/usr/bin/env bash
# Runs the README's test command in a fresh Debian root of the given release (default trixie,
# Debian 13): debootstrap's minimal variant plus git, from the archive this machine's apt sources
# name; the committed HEAD of this checkout is cloned into it, and scripts/run-tests.sh installs,
# builds and tests there as it would on a new machine. Needs root (re-runs itself with sudo).
# FUZZ_SECONDS (default 15) bounds each fuzzer; KEEP_ROOT=1 keeps the root for a look afterwards.
set -euo pipefail
release=${1:-trixie}
repo=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
    exec sudo FUZZ_SECONDS="${FUZZ_SECONDS:-}" KEEP_ROOT="${KEEP_ROOT:-}" "$0" "$@"
fi
. "$repo/scripts/debian-root.sh"

root=$(mktemp -d "/var/tmp/show-$release-XXXXXX")
trap 'debian_root_release "$root"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

say() { echo "[$release] $*"; }
started=$SECONDS
say "debootstrap into $root from $(debian_mirror)"
debian_root_make "$release" "$root" git,ca-certificates
say "== stage: base system $((SECONDS - started)) s"
debian_root_mount "$root"
# Cloned from outside, so that a worktree (whose .git points elsewhere) serves as well.
git -c safe.directory='*' clone -q "$repo" "$root/root/show"
say "testing $(git -C "$repo" log -1 --format='%h %s' | cut -c1-72)"

status=0
debian_root_run "$root" /bin/bash -c \
    "cd /root/show && FUZZ_SECONDS=${FUZZ_SECONDS:-15} scripts/run-tests.sh" 2>&1 |
    sed -u "s/^/[$release] /" || status=$?
if [ "$status" -ne 0 ]; then
    say "FAILED (status $status) after $((SECONDS - started)) s"
else
    say "passed in $((SECONDS - started)) s"
fi
exit "$status"
