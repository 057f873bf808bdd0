#!/usr/bin/env bash
# Cell logs to map files at scale: a made-up log of 1 million lines (bench/gen_celllog.py)
# through cells of the 10-million-line world export that bench/cells_bench.sh uses (written
# here when missing), turned by celllog2map into KML, GPX, GeoJSON and CSV with the towers'
# positions read from the export. Prints the elapsed time, log lines per second and peak
# memory; elapsed time depends on what else the machine runs.
# Usage: KESTREL_BUILD=build-x bench/celllog_bench.sh [LOG_LINES] [EXPORT_LINES]   (after the build)
set -euo pipefail
source "$(dirname "$0")/../tools/env.sh"
trap kestrel_cleanup EXIT

log_lines=${1:-1000000}
export_lines=${2:-10000000}
data="$KESTREL_BUILD/bench-data/cells"
mkdir -p "$data"
export="$data/world-$export_lines.csv"
if [ ! -f "$export" ]; then
    kestrel_log "writing $export"
    python3 "$KESTREL_ROOT/bench/gen_cells.py" "$export" "$export_lines" --world
fi
log="$data/celllog-$log_lines.txt"
if [ ! -f "$log" ]; then
    kestrel_log "writing $log"
    python3 "$KESTREL_ROOT/bench/gen_celllog.py" "$export" "$log" "$log_lines"
fi
kestrel_prefix
kestrel_wineserver
bin="$KESTREL_BUILD/bin"
winpath() { echo "Z:$(realpath -m "$1" | sed 's|/|\\|g')"; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "log: $log_lines lines, $(du -mL "$log" | cut -f1) MB; export: $export_lines lines, $(du -mL "$export" | cut -f1) MB"
run() {
    local name=$1 TIMEFORMAT='%R %U %S' elapsed user system
    shift
    rm -rf "$data/map"
    mkdir -p "$data/map"
    cat "$export" "$log" >/dev/null # the input warm, as a second run finds it
    { time wine "$bin/celllog2map.exe" --cells "$(winpath "$export")" --utc-offset +01:00 "$@" \
        "$(winpath "$log")" >"$data/$name.log" 2>&1; } 2>"$data/time.txt"
    read -r elapsed user system <"$data/time.txt"
    awk -v n="$name" -v e="$elapsed" -v c="$user + $system" -v l="$log_lines" -v o="$(du -sm "$data/map" | cut -f1)" \
        'BEGIN { split(c, t, " + "); printf "%-16s %6.1f s  %9.0f log lines/s  cpu %5.1f s  output %5d MB\n",
                 n, e, l / e, t[1] + t[2], o }'
    grep -E 'cells with|peak memory' "$data/$name.log" | tr -d '\r' | sed 's/^/    /'
}
run "all four" --out "$(winpath "$data/map/drive")"
run "CSV alone" --csv "$(winpath "$data/map/drive.csv")"
rm -rf "$data/map"
