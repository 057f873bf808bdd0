#!/usr/bin/env bash
# A folder of the device made a small tmpfs of its own, so that a test or the soak can fill it
# up and see what a full disk does to the cell log.
#   small_volume.sh mount DIR [SIZE]   mounts a tmpfs of SIZE (default 16m) on DIR (needs root)
#   small_volume.sh umount DIR
# Never fails: without the mount the folder stays a plain one, and the programs that would fill
# it see so (its volume is not small) and leave that fault out, saying so.
set -u
action=${1:-}
dir=${2:-}
size=${3:-16m}
[ -n "$dir" ] || { echo "usage: $0 mount|umount DIR [SIZE]" >&2; exit 0; }
case "$action" in
mount)
    mkdir -p "$dir"
    if mountpoint -q "$dir"; then
        exit 0
    fi
    if [ "$(id -u)" = 0 ] && mount -t tmpfs -o "size=$size,mode=0777" kestrel-small "$dir" 2>/dev/null; then
        echo "$dir: a tmpfs of $size"
    else
        echo "$dir: no tmpfs (not root, or mounting is not allowed here): the full-disk case is left out"
    fi
    ;;
umount)
    if mountpoint -q "$dir"; then
        umount "$dir" 2>/dev/null || umount -l "$dir" 2>/dev/null || true
    fi
    ;;
esac
exit 0
