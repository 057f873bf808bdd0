#!/usr/bin/env bash
# BTS database lookup against grep -F -c over the same files, both warm.
# Generates 10 MB and 200 MB databases under the build tree (once), runs the PE benchmark
# under Wine (its time is taken inside the process, without Wine's start) and grep natively.
# Usage: KESTREL_BUILD=build-x bench/btsdb_bench.sh   (after the build)
set -euo pipefail
source "$(dirname "$0")/../tools/env.sh"
trap kestrel_cleanup EXIT

data="$KESTREL_BUILD/bench-data/btsdb"
mkdir -p "$data"
for mb in 10 200; do
    [ -f "$data/db$mb.csv" ] || python3 "$KESTREL_ROOT/bench/gen_btsdb.py" "$data/db$mb.csv" "$mb"
done
kestrel_prefix
kestrel_wineserver
winedir=$(winepath -w "$data")\\

# Best of several runs of grep, in milliseconds (includes grep's own process start).
grep_ms() {
    python3 - "$1" "$2" <<'PY'
import subprocess, sys, time
best = None
for _ in range(10):
    start = time.perf_counter()
    out = subprocess.run(["grep", "-F", "-c", sys.argv[1], sys.argv[2]], capture_output=True)
    elapsed = (time.perf_counter() - start) * 1000
    best = elapsed if best is None else min(best, elapsed)
print("%.2f %s" % (best, out.stdout.decode().strip()))
PY
}

printf '%-6s %-14s %10s %9s %10s %9s %7s  %s\n' file case lookup_ms MB/s grep_ms MB/s ratio result
for mb in 10 200; do
    cat "$data/db$mb.csv" >/dev/null
    for run in "near-end 4242 12345" "missing 999 4321"; do
        set -- $run
        line=$(wine "$KESTREL_BUILD/bin/btsdb_lookup_bench.exe" "$winedir" "db$mb" "$2" "$3" 10 | tr -d '\r')
        lookup=$(sed -n 's/.*best_ms=\([0-9.]*\).*/\1/p' <<<"$line")
        size=$(sed -n 's/.*size_mb=\([0-9.]*\).*/\1/p' <<<"$line")
        result=$(sed -n 's/.*result=\(.*\)/\1/p' <<<"$line")
        read -r gms gcount < <(grep_ms "$3" "$data/db$mb.csv")
        awk -v f="db$mb" -v c="$1" -v l="$lookup" -v g="$gms" -v s="$size" -v r="$result" -v n="$gcount" \
            'BEGIN { printf "%-6s %-14s %10.2f %9.0f %10.2f %9.0f %7.2f  %s (grep lines: %s)\n",
                     f, c, l, s / (l / 1000), g, s / (g / 1000), l / g, r, n }'
    done
done
