#!/usr/bin/env bash
# The main job: the Today screen with the Kestrel item on the simulated radio.
#
#   tools/demo.sh [--scenario FILE] [--cells FILE] [--vga] [--headless] [--out DIR]
#                 [--modem PORT|auto|list|mm[:N]|sim[:DIALECT]]
#
# Builds what is missing, installs Kestrel into a Wine prefix of its own for the demo (with
# installer.exe, as the package goes onto the device), points the radio at the scenario, starts
# the Today host and switches monitoring and logging on. With a display it opens the device
# screen in a window; without one (or with --headless) it plays the scenario on its own Xvfb
# and leaves screenshots, the item's text transcript, the cell log and the walk as KML and GPX
# in the output folder.
# --modem reads the radio from a modem (/dev/ttyUSB2, COM5 or tcp:HOST:PORT; auto: the AT port
# found among the serial devices, list: only list them), from ModemManager's modem (mm, or mm:N
# for its modem N) or from the modem simulator walking the scenario (sim, sim:quectel, ...).
# See docs/demo.md and docs/ril-modem.md.
# --cells runs it on an OpenCellID export: its BTS databases, its cells in the reference
# service and a radio walk through its first cells. See docs/demo.md.
set -euo pipefail
source "$(dirname "$0")/env.sh"

scenario="$KESTREL_ROOT/demo/kestrel-demo.txt"
modem=""
scenario_given=0
cells=""
vga=0
headless=0
out=""
usage() {
    sed -n '4,17p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 1
}
while [ $# -gt 0 ]; do
    case "$1" in
    --scenario) [ $# -ge 2 ] || usage; scenario=$(realpath "$2"); scenario_given=1; shift 2 ;;
    --cells) [ $# -ge 2 ] || usage; cells=$(realpath "$2"); shift 2 ;;
    --modem) [ $# -ge 2 ] || usage; modem=$2; shift 2 ;;
    --vga) vga=1; shift ;;
    --headless) headless=1; shift ;;
    --out) [ $# -ge 2 ] || usage; out=$2; shift 2 ;;
    *) usage ;;
    esac
done
# The machine's serial devices and what each is (tools/modem-ports.sh), and nothing else.
if [ "$modem" = list ]; then
    exec "$KESTREL_ROOT/tools/modem-ports.sh" list
fi
[ -f "$scenario" ] || { kestrel_log "no scenario $scenario"; exit 1; }
[ -z "$cells" ] || [ -f "$cells" ] || { kestrel_log "no cell export $cells"; exit 1; }

if [ "$vga" = 1 ]; then
    width=480 height=640 dpi=192 scale=2
else
    width=240 height=320 dpi=96 scale=1
fi
if [ "$headless" = 0 ] && { [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; }; then
    headless=1
fi
if [ -z "$out" ]; then
    out="$KESTREL_ROOT/out/demo-$(date +%Y%m%d-%H%M%S)"
fi
mkdir -p "$out"
out=$(realpath "$out")

# The first text matching a pattern in a program's log, waited for up to 20 s (a server
# started in the background prints its address once it listens); empty when none came.
first_match() {
    local found=""
    for _ in $(seq 1 100); do
        found=$(grep -o "$1" "$2" 2>/dev/null | head -1 || true)
        [ -n "$found" ] && break
        sleep 0.2
    done
    echo "$found"
}

# Wine paths of Linux files: the prefix maps / to Z:.
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
regpath() { winpath "$1" | sed 's/\\/\\\\/g'; }

# --- build what is missing --------------------------------------------------------------
kestrel_install_packages
mkdir -p "$KESTREL_BUILD"
bin="$KESTREL_BUILD/bin"
# The package folder holds the stripped libraries as they go onto the phone.
package="$KESTREL_BUILD/package"
needed=(package/KestrelToday.dll package/KestrelSetupDll.dll
    package/Kestrel.manifest bin/installer.exe bin/todayhost.exe bin/ril.dll bin/aygshell.dll
    bin/cellcore.dll bin/shellexec.dll bin/htmlview.dll bin/refservice.exe bin/modemsim.exe
    bin/cells2btsdb.exe bin/celllog2map.exe bin/refservice-geo.bin)
missing=0
for f in "${needed[@]}"; do [ -f "$KESTREL_BUILD/$f" ] || missing=1; done
if [ "$missing" = 1 ] || [ "${KESTREL_DEMO_REBUILD:-0}" = 1 ]; then
    kestrel_log "building the item, the Today host and the stand-ins in $KESTREL_BUILD"
    cmake -G Ninja -S "$KESTREL_ROOT" -B "$KESTREL_BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$KESTREL_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        ${KESTREL_SUBDIRS:+"-DKESTREL_SUBDIRS=$KESTREL_SUBDIRS"} \
        >"$KESTREL_BUILD.configure.log" 2>&1 || { cat "$KESTREL_BUILD.configure.log" >&2; exit 1; }
    cmake --build "$KESTREL_BUILD" --target kestrel_package installer todayhost ril \
        aygshell cellcore shellexec htmlview refservice modemsim cells2btsdb celllog2map
fi
for f in "${needed[@]}"; do
    [ -f "$KESTREL_BUILD/$f" ] || { kestrel_log "missing $KESTREL_BUILD/$f after the build"; exit 1; }
done

# --- the demo's own prefix: the tests' prefix and its settings stay untouched -------------
export WINEPREFIX="$KESTREL_BUILD/demo-prefix-${width}x${height}"
trap kestrel_cleanup EXIT
trap 'exit 130' INT TERM
kestrel_prefix
drive="$WINEPREFIX/drive_c"
rm -f "$drive/gsminfo.txt" "$drive/ril-errors.txt" "$out/ril-trace.txt"
# The BTS database of the demo's network, for the detail page (with --cells: converted below).
rm -f "$drive"/GsmDb/*.csv
if [ -z "$cells" ] && [ -d "$KESTREL_ROOT/demo/GsmDb" ]; then
    mkdir -p "$drive/GsmDb"
    cp "$KESTREL_ROOT"/demo/GsmDb/*.csv "$drive/GsmDb/" 2>/dev/null || true
fi


# --- run ----------------------------------------------------------------------------------
if [ "$headless" = 1 ]; then
    unset DISPLAY
fi
kestrel_display "${width}x${height}x24"
kestrel_wineserver

# An export of the user's: its databases in the device's BTS folder, a walk through its cells.
service_cells=()
sources=("$KESTREL_ROOT/demo/GsmDb" files)
if [ -n "$cells" ]; then
    kestrel_log "converting $cells"
    wine "$bin/cells2btsdb.exe" --out "$(winpath "$drive/GsmDb")" --report "$(winpath "$out/unreachable-cells.csv")" \
        "$(winpath "$cells")" >"$out/cells2btsdb.log" 2>&1 </dev/null ||
        { cat "$out/cells2btsdb.log" >&2; kestrel_log "the export cannot be converted"; exit 1; }
    if [ "$scenario_given" = 0 ]; then
        scenario="$out/cells-walk.txt"
        python3 "$KESTREL_ROOT/demo/cells-walk.py" "$cells" "$scenario"
    fi
    service_cells=(--cells "$(winpath "$cells")")
    sources=("$drive/GsmDb" gsmdb)
fi

# The reference cell-position service with its demo cells, on a free port of 127.0.0.1; it
# also serves the demo's BTS databases, the sources of the "Databáze BTS" page. It stops on
# its own after an hour should this script be killed before it stops it.
wine "$bin/refservice.exe" --port 0 --seconds 3600 --files "$(winpath "$KESTREL_ROOT/demo/GsmDb")" \
    "${service_cells[@]}" >"$out/refservice.log" 2>&1 </dev/null &
service_pid=$!
kestrel_started_pids+=("$service_pid")
service=$(first_match 'http://127\.0\.0\.1:[0-9]*' "$out/refservice.log")
[ -n "$service" ] || { kestrel_log "the reference service did not start, see $out/refservice.log"; exit 1; }
kestrel_log "reference cell-position service at $service"

# The radio from a modem: the simulator walking the scenario on a free port, a Linux serial
# device mapped into the prefix as a COM port, or a COM port or TCP bridge as given.
ril_port=""
if [ "$modem" = auto ]; then
    modem=$("$KESTREL_ROOT/tools/modem-ports.sh" auto) || exit 1
fi
case "$modem" in
"") ;;
sim | sim:*)
    dialect=${modem#sim}
    dialect=${dialect#:}
    wine "$bin/modemsim.exe" --scenario "$(winpath "$scenario")" --dialect "${dialect:-quectel}" \
        --port 0 --seconds 3600 >"$out/modemsim.log" 2>&1 </dev/null &
    kestrel_started_pids+=($!)
    ril_port=$(first_match '127\.0\.0\.1:[0-9]*' "$out/modemsim.log")
    [ -n "$ril_port" ] || { kestrel_log "the modem simulator did not start, see $out/modemsim.log"; exit 1; }
    ril_port="tcp:$ril_port"
    ;;
mm | mm:*)
    # ModemManager keeps the modem; the bridge reads it over D-Bus and speaks AT to ril.dll.
    cmake --build "$KESTREL_BUILD" --target mmbridge >"$out/mmbridge-build.log" 2>&1 ||
        { cat "$out/mmbridge-build.log" >&2; exit 1; }
    index=${modem#mm}
    index=${index#:}
    "$KESTREL_BUILD/native/mmbridge" ${index:+--modem "$index"} --port 0 --seconds 3600 \
        >"$out/mmbridge.log" 2>&1 </dev/null &
    kestrel_started_pids+=($!)
    ril_port=$(first_match '127\.0\.0\.1:[0-9]*' "$out/mmbridge.log")
    [ -n "$ril_port" ] || { kestrel_log "the ModemManager bridge did not start, see $out/mmbridge.log"; exit 1; }
    ril_port="tcp:$ril_port"
    ;;
/dev/*)
    n=10
    while [ -e "$WINEPREFIX/dosdevices/com$n" ] &&
        [ "$(readlink "$WINEPREFIX/dosdevices/com$n")" != "$modem" ]; do n=$((n + 1)); done
    ln -sfn "$modem" "$WINEPREFIX/dosdevices/com$n"
    ril_port="COM$n"
    ;;
*) ril_port=$modem ;;
esac
if [ -n "$ril_port" ]; then kestrel_log "radio from the modem on $ril_port"; fi

item_height=$((70 * scale))
# Kestrel goes in through the installer host, as the package does on the device, before any
# of its settings below, so that its removal takes them along. A re-run reinstalls over it
# with the new build; the item's settings stay as the user left them, and only the first
# install gets the demo's quick interval and the screen's item height.
item_key='HKLM\Software\Microsoft\Today\Items\Kestrel'
first_install=1
wine reg query 'HKLM\Software\Apps\Kestrel' >/dev/null 2>&1 && first_install=0
if ! (cd "$drive" && wine "$bin/installer.exe" install "$(winpath "$package/Kestrel.manifest")") \
    >"$out/install.log" 2>&1; then
    cat "$out/install.log" >&2
    kestrel_log "installing Kestrel failed"
    exit 1
fi
if [ "$first_install" = 1 ]; then
    wine reg add "$item_key" /v CheckInterval /t REG_DWORD /d 2 /f >>"$out/wine.log" 2>&1
    wine reg add "$item_key" /v ItemHeight /t REG_DWORD /d "$item_height" /f >>"$out/wine.log" 2>&1
fi
reg="$out/kestrel-demo.reg"
{
    echo "REGEDIT4"
    echo
    echo "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Today\\Items\\Kestrel]"
    # The position of the serving cell from the service above; the map is its picture.
    echo "\"AppEmail\"=\"demo@kestrel.example\""
    echo "\"AppKey\"=\"KESTREL-DEMO-2006\""
    echo "\"WSUrl\"=\"$service/KestrelService.Svc/GSMTEST/GsmQuery?keyName={APPNAME}&hash={HASH}&networkCode={NC}&lac={LAC}&cellId={CELLID}\""
    # The map fills the window under the item: 240x224 by default, twice that on VGA.
    echo "\"MapUrl\"=\"$service/map?lat={LAT}&lon={LON}$([ "$vga" = 1 ] && echo '&w=480&h=448')\""
    echo "\"AutoMapAfterStart\"=dword:00000001"
    echo
    # The BTS folder and one download source per demo database ("Stáhnout vše").
    "$KESTREL_ROOT/demo/btsdb-sources.sh" "${service##*:}" '\GsmDb\' "${sources[@]}"
    echo
    echo "[HKEY_LOCAL_MACHINE\\Software\\KestrelDevice\\Ril]"
    echo "\"Scenario\"=\"$(regpath "$scenario")\""
    echo "\"Mode\"=\"time\""
    echo "\"Trace\"=\"$(regpath "$out/ril-trace.txt")\""
    if [ -n "$ril_port" ]; then
        echo "\"Port\"=\"$ril_port\""
        echo "\"Record\"=\"$(regpath "$out/modem-recording.txt")\""
    else
        echo "\"Port\"=-"
        echo "\"Record\"=-"
    fi
    echo
    echo "[HKEY_CURRENT_USER\\Control Panel\\Desktop]"
    printf '"LogPixels"=dword:%08x\n' "$dpi"
    echo
    echo "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]"
    printf '"LogPixels"=dword:%08x\n' "$dpi"
} >"$reg"
wine regedit /S "$(winpath "$reg")" >>"$out/wine.log" 2>&1

# A Czech device's ANSI code page (1250) for the BTS database's texts (docs/btsdb.md).
device_locale=cs_CZ.UTF-8

# Screen points of the item: it sits under the host's navigation bar (26 px at 96 dpi).
bar=$((26 * scale))
# The middle of each tab of the strip at the item's top.
tab_y=$((bar + 6 * scale))
basic_tab="$((54 * scale)) $tab_y"
detail_tab="$((130 * scale)) $tab_y"
gps_tab="$((200 * scale)) $tab_y"
script="$out/demo.script"
if [ "$headless" = 1 ]; then
    {
        echo "# Kestrel headless demo: one snapshot per scenario step (4 s)."
        echo "wait 1500"
        echo "screenshot 00-start.png"
        echo "text 00-start.txt"
        echo "command Kestrel 40006"
        echo "command Kestrel 40007"
        echo "wait 800"
        echo "screenshot 01-step00.png"
        echo "text 01-step00.txt"
        for i in $(seq 1 11); do
            echo "wait 4000"
            n=$(printf '%02d' $((i + 1)))
            s=$(printf '%02d' "$i")
            echo "screenshot $n-step$s.png"
            echo "text $n-step$s.txt"
            if [ "$i" = 2 ]; then
                echo "# The detail tab: the serving cell in the BTS database, then back."
                echo "tap $detail_tab"
                echo "wait 500"
                echo "screenshot $n-detail.png"
                echo "text $n-detail.txt"
                echo "tap $basic_tab"
            fi
            if [ "$i" = 5 ]; then
                echo "# The GPS tab: the cell's position from the service, its map under the item."
                echo "tap $gps_tab"
                echo "wait 1500"
                echo "screenshot $n-gps.png"
                echo "text $n-gps.txt"
            fi
            if [ "$i" = 4 ]; then
                echo "# Keyboard: into the item, down to the monitoring button."
                echo "key down"
                echo "key down"
                echo "wait 300"
                echo "screenshot $n-keys.png"
                echo "key up"
                echo "key up"
                echo "key up"
            fi
            if [ "$i" = 7 ]; then
                echo "# Tap and hold on the item: its menu."
                echo "hold $((120 * scale)) $((bar + 50 * scale))"
                echo "wait 1500"
                echo "screenshot $n-menu.png"
                echo "key escape"
            fi
        done
        echo "quit"
    } >"$script"
    kestrel_log "playing $(basename "$scenario") headless into $out"
    (cd "$drive" && LC_ALL=$device_locale timeout 300 wine "$bin/todayhost.exe" --script "$(winpath "$script")" \
        --out "$(winpath "$out")" >>"$out/wine.log" 2>&1) || kestrel_log "the Today host ended with $?"
else
    {
        echo "# Kestrel interactive demo: monitoring and logging on, then the screen is yours."
        echo "wait 1000"
        echo "command Kestrel 40006"
        echo "command Kestrel 40007"
        echo "wait 864000000"
    } >"$script"
    kestrel_log "the device screen opens in a window; close it (or press Ctrl-C) to end the demo"
    (cd "$drive" && LC_ALL=$device_locale wine explorer "/desktop=Kestrel,${width}x${height}" "$bin/todayhost.exe" \
        --script "$(winpath "$script")" --out "$(winpath "$out")" >>"$out/wine.log" 2>&1) || true
fi

# --- what the run left ----------------------------------------------------------------------
kill "$service_pid" 2>/dev/null || true
wait "$service_pid" 2>/dev/null || true
if [ -f "$drive/gsminfo.txt" ]; then
    cp "$drive/gsminfo.txt" "$out/gsminfo.txt"
    iconv -f UTF-16 -t UTF-8 "$drive/gsminfo.txt" >"$out/gsminfo-utf8.txt" 2>/dev/null || true
fi
[ -f "$drive/ril-errors.txt" ] && cp "$drive/ril-errors.txt" "$out/"
# The walk as map files, at the towers of the device's BTS databases (docs/celllog.md).
if [ -f "$out/gsminfo.txt" ]; then
    if wine "$bin/celllog2map.exe" --bts "$(winpath "$drive/GsmDb")" --kml "$(winpath "$out/walk.kml")" \
        --gpx "$(winpath "$out/walk.gpx")" "$(winpath "$out/gsminfo.txt")" >"$out/celllog2map.log" 2>&1 </dev/null; then
        kestrel_log "the walk as map files: $out/walk.kml, $out/walk.gpx"
    else
        kestrel_log "the walk could not be written as map files, see $out/celllog2map.log"
    fi
fi
kestrel_log "output: $out"
echo "$out"
