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
# On a virtual machine its host may take CPU time away ("steal"); runs with much of it showed
# higher CPU per cycle, so the share is printed beside the figures.
cpu_times() { awk '/^cpu /{print $2+$3+$4+$5+$6+$7+$8+$9, $9}' /proc/stat; }
read -r total_before steal_before < <(cpu_times)
status=0
wine "$KESTREL_BUILD/bin/bench_soak.exe" "$@" || status=$?
read -r total_after steal_after < <(cpu_times)
awk -v t=$((total_after - total_before)) -v s=$((steal_after - steal_before)) 'BEGIN {
    if (t > 0) printf "CPU time the virtual machine did not get (steal) during the run: %.1f%%\n", 100 * s / t
}'
# The cell log goes with the tmpfs: a copy stays in the build tree.
cp soaklog/gsminfo.txt "$KESTREL_BUILD/soak-gsminfo.txt" 2>/dev/null || true
exit $status
