#!/usr/bin/env bash
# OpenCellID exports to BTS databases at scale, and the reference service on the same data.
# Generates a made-up world export of 10 million lines (bench/gen_cells.py, once, with a gzip
# copy) under the build tree, converts it with cells2btsdb (plain and gzip, then with a small
# memory budget so that the cells go through temporary runs) and loads it into the reference
# service (bench_refservice: load time and memory, lookups, requests over HTTP). Then the
# exports that test the converter's bounds (bench/gen_cells_hostile.py): 6 million lines that
# repeat 300 cells, with --memory 16; 200,000 GSM and UMTS cells in pairs under one key; a
# million cells each with a district of its own, with --memory 16. Elapsed time depends on
# what else the machine runs; the processor seconds less so.
# Usage: KESTREL_BUILD=build-x bench/cells_bench.sh [LINES]   (after the build)
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
[ -f "$export.gz" ] || gzip -6 -k "$export"
kestrel_prefix
kestrel_wineserver
bin="$KESTREL_BUILD/bin"
winpath() { echo "Z:$(realpath -m "$1" | sed 's|/|\\|g')"; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "export: $lines lines, $(du -mL "$export" | cut -f1) MB plain, $(du -mL "$export.gz" | cut -f1) MB gzip"
# convert NAME FILE LINES [OPTION...]: one run of the converter on FILE.
convert() {
    local name=$1 file=$2 count=$3 TIMEFORMAT='%R %U %S' elapsed user system
    shift 3
    rm -rf "$data/out"
    cat "$file" >/dev/null # the input warm, as a second run finds it
    { time wine "$bin/cells2btsdb.exe" --out "$(winpath "$data/out")" "$@" "$(winpath "$file")" \
        >"$data/$name.log" 2>&1; } 2>"$data/time.txt"
    read -r elapsed user system <"$data/time.txt"
    awk -v n="$name" -v e="$elapsed" -v c="$user + $system" -v l="$count" -v o="$(du -sm "$data/out" | cut -f1)" \
        'BEGIN { split(c, t, " + "); printf "%-20s %6.1f s  %9.0f lines/s  cpu %5.1f s  output %5d MB\n",
                 n, e, l / e, t[1] + t[2], o }'
    tail -n 3 "$data/$name.log" | tr -d '\r' | sed 's/^/    /'
}
convert plain "$export" "$lines"
convert gzip "$export.gz" "$lines"
convert "plain, --memory 128" "$export" "$lines" --memory 128
rm -rf "$data/out"

cat "$export" >/dev/null
wine "$bin/bench_refservice.exe" "$(winpath "$export")" 2000 | tr -d '\r'

hostile() {
    local kind=$1 file=$2 count=$3
    shift 3
    [ -f "$data/$file" ] || python3 "$KESTREL_ROOT/bench/gen_cells_hostile.py" "$kind" "$data/$file" "$count"
    convert "$kind" "$data/$file" "$count" "$@"
}
hostile repeats repeats-6000000.csv.gz 6000000 --memory 16
hostile same-key same-key-200000.csv 200000
hostile districts districts-1000000.csv 1000000 --memory 16
rm -rf "$data/out"
