#!/usr/bin/env bash
# The soak's cell log folder as a small tmpfs of its own, so that the soak can fill it up.
#   soak_folder.sh mount DIR    mounts a 16 MB tmpfs on DIR (needs root; says so otherwise)
#   soak_folder.sh umount DIR
# Never fails: without the mount the soak leaves the folder-full fault out and says so.
set -u
action=${1:-}
dir=${2:-}
[ -n "$dir" ] || { echo "usage: $0 mount|umount DIR" >&2; exit 0; }
case "$action" in
mount)
    mkdir -p "$dir"
    if mountpoint -q "$dir"; then
        exit 0
    fi
    if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=16m,mode=0777 kestrel-soak "$dir" 2>/dev/null; then
        echo "soak: $dir is a 16 MB tmpfs"
    else
        echo "soak: no tmpfs on $dir (not root, or mounting is not allowed here): the folder-full fault is left out"
    fi
    ;;
umount)
    if mountpoint -q "$dir"; then
        umount "$dir" 2>/dev/null || umount -l "$dir" 2>/dev/null || true
    fi
    ;;
esac
exit 0
