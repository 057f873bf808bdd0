#!/usr/bin/env bash
# The reference service against clients that do not behave, and loading many export files.
# Generates a made-up national export (bench/gen_cells.py, once) under the build tree, runs
# bench_service_load on it (position requests while 50 slow clients hold connections and the
# largest network's database downloads; memory after 1,000 and after 100,000 requests), then
# loads the same cells into refservice.exe from one file and from 200 files.
# Usage: KESTREL_BUILD=build-x bench/service_bench.sh [LINES] [REQUESTS]   (after the build)
set -euo pipefail
source "$(dirname "$0")/../tools/env.sh"
trap kestrel_cleanup EXIT

lines=${1:-1000000}
requests=${2:-2000}
data="$KESTREL_BUILD/bench-data/service"
mkdir -p "$data"
export="$data/national-$lines.csv"
if [ ! -f "$export" ]; then
    kestrel_log "writing $export"
    python3 "$KESTREL_ROOT/bench/gen_cells.py" "$export" "$lines"
fi
pieces="$data/pieces-$lines"
if [ ! -d "$pieces" ]; then
    mkdir -p "$pieces"
    tail -n +2 "$export" | split -l $(((lines + 199) / 200)) -d -a 3 --additional-suffix=.csv - "$pieces/part-"
    for piece in "$pieces"/part-*.csv; do
        sed -i "1i $(head -n 1 "$export")" "$piece"
    done
fi
kestrel_prefix
kestrel_wineserver
bin="$KESTREL_BUILD/bin"
winpath() { echo "Z:$(realpath -m "$1" | sed 's|/|\\|g')"; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
cat "$export" >/dev/null
wine "$bin/bench_service_load.exe" "$(winpath "$export")" "$requests" | tr -d '\r'

args=()
for piece in "$pieces"/part-*.csv; do
    args+=(--cells "$(winpath "$piece")")
done
echo "one file:   $(wine "$bin/refservice.exe" --port 0 --seconds 0 --cells "$(winpath "$export")" | tr -d '\r' | head -n 1)"
echo "200 files:  $(wine "$bin/refservice.exe" --port 0 --seconds 0 "${args[@]}" | tr -d '\r' | head -n 1)"
