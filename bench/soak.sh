#!/usr/bin/env bash
# Runs the soak (bench_soak.exe) under Wine with the cell log's folder on a small tmpfs, so
# the folder-full fault can be played, and prints its figures. Arguments go to bench_soak.exe
# (--cycles N, --sample N). KESTREL_BUILD names the build tree (default: build).
set -euo pipefail
source "$(dirname "$0")/../tools/env.sh"

kestrel_install_packages
mkdir -p "$KESTREL_BUILD"
trap 'bash "$KESTREL_ROOT/tools/small_volume.sh" umount "$WINEPREFIX/drive_c/soaklog"; kestrel_cleanup' EXIT
cmake --build "$KESTREL_BUILD" --target bench_soak >/dev/null
kestrel_prefix
kestrel_display 240x320x24
kestrel_wineserver

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
bash "$KESTREL_ROOT/tools/small_volume.sh" mount "$WINEPREFIX/drive_c/soaklog"
# Device paths such as \soaklog\gsminfo.txt resolve against the current drive: drive_c.
cd "$WINEPREFIX/drive_c"
status=0
wine "$KESTREL_BUILD/bin/bench_soak.exe" "$@" || status=$?
# The cell log goes with the tmpfs: a copy stays in the build tree.
cp soaklog/gsminfo.txt "$KESTREL_BUILD/soak-gsminfo.txt" 2>/dev/null || true
exit $status
