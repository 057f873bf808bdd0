#!/usr/bin/env bash
# The reference service's map on the made-up world export of bench/cells_bench.sh (written
# here too when missing): tower index and memory, time to draw a map (bench_map).
# Usage: KESTREL_BUILD=build-x bench/map_bench.sh [LINES] [MAPS]   (after the build)
set -euo pipefail
source "$(dirname "$0")/../tools/env.sh"
trap kestrel_cleanup EXIT

lines=${1:-10000000}
data="$KESTREL_BUILD/bench-data/cells"
mkdir -p "$data"
export="$data/world-$lines.csv"
if [ ! -f "$export" ]; then
    kestrel_log "writing $export"
    python3 "$KESTREL_ROOT/bench/gen_cells.py" "$export" "$lines" --world
fi
kestrel_prefix
kestrel_wineserver
winpath() { echo "Z:$(realpath -m "$1" | sed 's|/|\\|g')"; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
cat "$export" >/dev/null
wine "$KESTREL_BUILD/bin/bench_map.exe" "$(winpath "$export")" \
    "$(winpath "$KESTREL_BUILD/bin/refservice-geo.bin")" "${2:-1000}" | tr -d '\r'
