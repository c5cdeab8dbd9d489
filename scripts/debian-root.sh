# Fresh Debian roots for running the project's commands on another release: made with debootstrap
# from the archive this machine's apt sources name, entered with chroot, and always unmounted.
# Sourced by scripts that need one; the caller must be root.
#   debian_root_make RELEASE DIR [PACKAGE,...]   a minimal root, plus the packages named
#   debian_root_mount DIR                        /proc, /sys, /dev and /dev/pts bound into it
#   debian_root_run DIR COMMAND...               a command inside, as root, with a clean environment
#   debian_root_release DIR                      kills what still runs inside, unmounts, removes it
# Set up an EXIT trap that calls debian_root_release, so that no exit path leaves a mount behind.

# The first Debian archive URI of this machine's apt sources (deb822 or one-line form).
debian_mirror() {
    local uri
    uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
          awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }')
    if [ -z "$uri" ]; then
        uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
              awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }')
    fi
    echo "${uri:-http://deb.debian.org/debian}"
}

debian_root_make() {
    local release=$1 dir=$2 include=${3:-}
    command -v debootstrap > /dev/null || {
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap > /dev/null ||
            { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap > /dev/null; }
    }
    local mirror log
    mirror=$(debian_mirror)
    log=$(mktemp)
    if ! debootstrap --variant=minbase ${include:+--include="$include"} "$release" "$dir" "$mirror" > "$log" 2>&1; then
        echo "debootstrap of $release from $mirror failed; its last lines:"
        tail -n 15 "$log"
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
    # The archive this machine uses, for apt inside the root as well.
    echo "deb $mirror $release main" > "$dir/etc/apt/sources.list"
    cp /etc/resolv.conf "$dir/etc/resolv.conf" 2>/dev/null || true
}

debian_root_mount() {
    local dir=$1
    mount --bind /proc "$dir/proc"
    mount --bind /sys "$dir/sys"
    mount --bind /dev "$dir/dev"
    mount --bind /dev/pts "$dir/dev/pts"
}

debian_root_run() {
    local dir=$1
    shift
    chroot "$dir" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

# The mount points below dir, deepest first.
debian_root_mounts() {
    awk -v d="$1/" 'index($2 "/", d) == 1 { print $2 }' /proc/mounts | sort -r
}

debian_root_release() {
    local dir=$1
    [ -n "$dir" ] && [ -d "$dir" ] || return 0
    dir=$(cd "$dir" && pwd -P)
    # Servers the tests started (Xvfb, a sound server) would hold the mounts busy.
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$dir" ] && kill -9 "${p#/proc/}" 2>/dev/null
    done
    local m attempt
    for attempt in 1 2 3 4 5; do
        for m in $(debian_root_mounts "$dir"); do umount "$m" 2>/dev/null; done
        [ -z "$(debian_root_mounts "$dir")" ] && break
        sleep 1
    done
    for m in $(debian_root_mounts "$dir"); do umount -l "$m" 2>/dev/null; done
    if [ -n "$(debian_root_mounts "$dir")" ]; then
        echo "left mounted below $dir:" $(debian_root_mounts "$dir") >&2
        return 1
    fi
    [ -n "${KEEP_ROOT:-}" ] && { echo "root kept in $dir"; return 0; }
    rm -rf --one-file-system "$dir"
}
