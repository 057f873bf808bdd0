#!/usr/bin/env bash
# The two deliverables as the package ships them (stripped), and the private bytes the Today
# host process gains when it loads the item.
# Usage: KESTREL_BUILD=build-x bench/deliverables.sh   (builds what it needs)
set -euo pipefail
source "$(dirname "$0")/../tools/env.sh"
trap kestrel_cleanup EXIT

cmake --build "$KESTREL_BUILD" --target kestrel_package bench_item_memory >/dev/null
for dll in KestrelToday.dll KestrelSetupDll.dll; do
    printf '%-22s %8d bytes stripped  (%d bytes with debug information in bin/)\n' "$dll" \
        "$(stat -c %s "$KESTREL_BUILD/package/$dll")" "$(stat -c %s "$KESTREL_BUILD/bin/$dll")"
done
kestrel_prefix
kestrel_display 240x320x24
kestrel_wineserver
cd "$WINEPREFIX/drive_c"
wine "$KESTREL_BUILD/bin/bench_item_memory.exe" "$(winepath -w "$KESTREL_BUILD/package/KestrelToday.dll")" | tr -d '\r'
