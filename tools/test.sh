#!/usr/bin/env bash
# Builds Kestrel and runs every test under Wine. Arguments go to ctest (e.g. -R CVORegistry).
# KESTREL_BUILD names the build tree (default: build).
set -euo pipefail
source "$(dirname "$0")/env.sh"

kestrel_install_packages
mkdir -p "$KESTREL_BUILD"
trap kestrel_cleanup EXIT
kestrel_build
kestrel_prefix
kestrel_display 240x320x24
kestrel_wineserver

cd "$KESTREL_BUILD"
ctest --output-on-failure --no-tests=error "$@"
