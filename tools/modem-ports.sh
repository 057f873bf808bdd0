#!/usr/bin/env bash
# Finds a modem's AT port among the machine's serial devices.
#
#   tools/modem-ports.sh list [DEVICE...]   what each serial device is
#   tools/modem-ports.sh auto [DEVICE...]   the AT port to use (its device on stdout), or why none
#
# Without DEVICEs it looks at /dev/serial/by-id/*, /dev/ttyUSB* and /dev/ttyACM*. A port that
# ModemManager uses is not touched. Every other port is asked "AT" by ril.dll's own probe
# (modemports.exe under Wine, through a COM link in the prefix; a few seconds a port at most),
# which sends nothing but AT, AT+CGMI and AT+CGMM. See docs/ril-modem.md.
set -euo pipefail
caller_prefix=${WINEPREFIX:-}
source "$(dirname "$0")/env.sh"
[ -z "$caller_prefix" ] || export WINEPREFIX=$caller_prefix

usage() {
    sed -n '4,5p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 1
}
[ $# -ge 1 ] || usage
command=$1
shift
case "$command" in list | auto) ;; *) usage ;; esac

devices=("$@")
if [ ${#devices[@]} = 0 ]; then
    shopt -s nullglob
    declare -A seen=()
    for d in /dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM*; do
        real=$(realpath "$d")
        [ -z "${seen[$real]:-}" ] || continue
        seen[$real]=1
        devices+=("$d")
    done
    shopt -u nullglob
fi
if [ ${#devices[@]} = 0 ]; then
    kestrel_log "no serial devices (/dev/serial/by-id, /dev/ttyUSB*, /dev/ttyACM*): is the modem plugged in?"
    exit 1
fi

# What ModemManager uses, by its name for the port (the device below /dev).
declare -A mm_use=()
mmbridge="$KESTREL_BUILD/native/mmbridge"
probe="$KESTREL_BUILD/bin/modemports.exe"
if [ ! -x "$mmbridge" ] || [ ! -f "$probe" ]; then
    kestrel_log "building the port probe and the ModemManager bridge"
    if [ ! -f "$KESTREL_BUILD/build.ninja" ]; then
        cmake -G Ninja -S "$KESTREL_ROOT" -B "$KESTREL_BUILD" \
            -DCMAKE_TOOLCHAIN_FILE="$KESTREL_ROOT/cmake/mingw-w64-x86_64.cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$KESTREL_BUILD.configure.log" 2>&1
    fi
    cmake --build "$KESTREL_BUILD" --target modemports mmbridge >&2
fi
if ports=$("$mmbridge" --ports 2>/dev/null); then
    while IFS=$'\t' read -r name type modem; do
        if [ -n "$name" ] && [ "$type" != ignored ]; then
            mm_use[$name]="its $type port of ${modem##*/ModemManager1/}"
        fi
    done <<<"$ports"
fi

# Each port that may be asked gets a COM link of its own in the prefix for the probe.
declare -A verdict=() detail=() com_of=()
links=()
remove_links() { local l; for l in "${links[@]}"; do rm -f "$l"; done; }
trap remove_links EXIT
n=30
to_probe=()
for d in "${devices[@]}"; do
    real=$(realpath "$d")
    name=${real#/dev/}
    if [ -n "${mm_use[$name]:-}" ]; then
        verdict[$d]=modemmanager
        detail[$d]="in ModemManager's use (${mm_use[$name]})"
    elif [ ! -e "$real" ]; then
        verdict[$d]=unavailable
        detail[$d]="no such device"
    elif [ ! -r "$real" ] || [ ! -w "$real" ]; then
        verdict[$d]=unavailable
        group=$(stat -c %G "$real")
        if id -nG | tr ' ' '\n' | grep -qx "$group"; then
            detail[$d]="not accessible: no read and write permission"
        else
            detail[$d]="not accessible: $(id -un) is not in group $group (sudo usermod -aG $group $(id -un), then log in again)"
        fi
    else
        mkdir -p "$WINEPREFIX/dosdevices"
        while [ -e "$WINEPREFIX/dosdevices/com$n" ] || [ -L "$WINEPREFIX/dosdevices/com$n" ]; do
            n=$((n + 1))
        done
        ln -s "$real" "$WINEPREFIX/dosdevices/com$n"
        links+=("$WINEPREFIX/dosdevices/com$n")
        com_of[COM$n]=$d
        to_probe+=("COM$n")
        n=$((n + 1))
    fi
done
if [ ${#to_probe[@]} -gt 0 ]; then
    while IFS=$'\t' read -r com kind text; do
        d=${com_of[$com]:-}
        [ -n "$d" ] || continue
        verdict[$d]=$kind
        detail[$d]=$text
    done < <(wine "$probe" "${to_probe[@]}" 2>/dev/null </dev/null | tr -d '\r')
fi

chosen=""
for d in "${devices[@]}"; do
    kind=${verdict[$d]:-failed}
    text=${detail[$d]:-the probe said nothing}
    case "$kind" in
    at) line="AT port: $text" ;;
    modemmanager | unavailable) line=$text ;;
    *) line="$kind: $text" ;;
    esac
    [ "$d" = "$(realpath "$d")" ] || line="$line [$(realpath "$d")]"
    if [ "$command" = list ]; then
        printf '%s\t%s\n' "$d" "$line"
    else
        echo "  $d: $line" >&2
        if [ -z "$chosen" ] && [ "$kind" = at ]; then chosen=$d; fi
    fi
done
if [ "$command" = auto ]; then
    if [ -z "$chosen" ]; then
        kestrel_log "no AT port free for Kestrel. A port in ModemManager's use can be left to Kestrel" \
            "(tools/mm-port-ignore.sh add DEVICE), or the radio read through ModemManager (--modem mm)"
        exit 1
    fi
    kestrel_log "the AT port: $chosen"
    echo "$chosen"
fi
