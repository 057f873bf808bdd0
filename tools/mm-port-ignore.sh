#!/usr/bin/env bash
# Tells ModemManager to leave one AT port of a USB modem alone, so that Kestrel can use it
# while ModemManager keeps the modem (and the data connection) on its other ports.
#
#   tools/mm-port-ignore.sh add /dev/ttyUSB2    # asks, then writes a udev rule for that port
#   tools/mm-port-ignore.sh remove              # asks, then removes the rules it wrote
#   tools/mm-port-ignore.sh show                # the rules it wrote
#   (--rules-dir DIR before the command: rules elsewhere than /etc/udev/rules.d)
#
# The rule names the port by the modem's USB vendor and product and the port's USB interface
# number, so it holds whatever ttyUSB number the port gets, and sets the udev property
# ID_MM_PORT_IGNORE that ModemManager honours. Nothing is written without a "y" answer.
# See docs/ril-modem.md.
set -euo pipefail

rules_dir=/etc/udev/rules.d
if [ "${1:-}" = --rules-dir ] && [ $# -ge 2 ]; then
    rules_dir=$2
    shift 2
fi
prefix="77-kestrel-mm-port-ignore"

usage() {
    sed -n '5,10p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 1
}

say() { echo "mm-port-ignore: $*" >&2; }

# Runs a command as root: directly when we are, else through sudo.
as_root() {
    if [ "$(id -u)" = 0 ] || { [ -w "$rules_dir" ] && [ "$1" != udevadm ]; }; then
        "$@"
    else
        sudo "$@"
    fi
}

confirm() {
    local answer=""
    printf '%s [y/N] ' "$1" >&2
    read -r answer || true
    [ "$answer" = y ] || [ "$answer" = Y ] || [ "$answer" = yes ]
}

reload() {
    as_root udevadm control --reload
    as_root udevadm trigger --action=change --subsystem-match=tty
    say "udev rules reloaded; ModemManager applies them to a modem it probes afresh:" \
        "plug the modem in again or run 'systemctl restart ModemManager'"
}

property() { sed -n "s/^$1=//p" <<<"$2" | head -1; }

add() {
    local device=$1 properties vendor product interface rule
    [ -e "$device" ] || { say "no device $device"; exit 1; }
    properties=$(udevadm info --query=property --name="$device" 2>/dev/null) ||
        { say "udev knows no device $device"; exit 1; }
    vendor=$(property ID_VENDOR_ID "$properties")
    product=$(property ID_MODEL_ID "$properties")
    interface=$(property ID_USB_INTERFACE_NUM "$properties")
    if ! [[ "$vendor" =~ ^[0-9a-fA-F]{4}$ && "$product" =~ ^[0-9a-fA-F]{4}$ &&
        "$interface" =~ ^[0-9a-fA-F]{2}$ ]]; then
        say "$device is not a port of a USB modem (no vendor, product and interface number)"
        exit 1
    fi
    rule="$rules_dir/$prefix-$vendor-$product-$interface.rules"
    echo "ModemManager is to leave $device alone: USB $vendor:$product, interface $interface," >&2
    echo "through the udev rule $rule" >&2
    confirm "Write it and reload the udev rules?" || { say "nothing written"; exit 1; }
    as_root tee "$rule" >/dev/null <<RULE
# Written by Kestrel's tools/mm-port-ignore.sh for $device: ModemManager leaves this port alone.
ACTION!="add|change|move|bind", GOTO="kestrel_mm_port_ignore_end"
SUBSYSTEMS=="usb", ATTRS{bInterfaceNumber}=="?*", ENV{.KESTREL_USBIFNUM}="\$attr{bInterfaceNumber}"
SUBSYSTEM=="tty", ATTRS{idVendor}=="$vendor", ATTRS{idProduct}=="$product", ENV{.KESTREL_USBIFNUM}=="$interface", ENV{ID_MM_PORT_IGNORE}="1"
LABEL="kestrel_mm_port_ignore_end"
RULE
    say "wrote $rule"
    reload
}

written() { ls "$rules_dir/$prefix-"*.rules 2>/dev/null || true; }

remove() {
    local rules
    rules=$(written)
    [ -n "$rules" ] || { say "no rules of Kestrel's in $rules_dir"; exit 0; }
    echo "$rules" >&2
    confirm "Remove these and reload the udev rules?" || { say "nothing removed"; exit 1; }
    # shellcheck disable=SC2086
    as_root rm -f $rules
    say "removed"
    reload
}

case "${1:-}" in
add) [ $# = 2 ] || usage; add "$2" ;;
remove) [ $# = 1 ] || usage; remove ;;
show) [ $# = 1 ] || usage; written ;;
*) usage ;;
esac
