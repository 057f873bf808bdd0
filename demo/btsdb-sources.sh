#!/usr/bin/env bash
# The demo's BTS database sources: registry lines for the page "Databáze BTS" whose sources
# point at the reference service's static files, so that "Stáhnout vše" really downloads.
#
#   demo/btsdb-sources.sh [PORT] [FOLDER] [DATABASES [URLPATH]]
#
# Prints REGEDIT4 sections (no "REGEDIT4" header line: append them to a .reg file that has
# one). One source per DATABASES/<Net Id>.csv (default demo/GsmDb), with the URL
# http://127.0.0.1:PORT/URLPATH/<Net Id>.csv (default files); the database folder is the item's
# own default "\GsmDb\" unless FOLDER (a device path such as \Storage Card\GsmDb\) is given.
# The reference service must serve them: refservice.exe --port PORT --files <demo/GsmDb> for
# files, or --cells EXPORT for the databases it writes from an export under gsmdb.
# See docs/btsdb-download.md.
set -euo pipefail

port=${1:-8080}
folder=${2:-'\GsmDb\'}
databases=${3:-"$(cd "$(dirname "$0")" && pwd)/GsmDb"}
urlpath=${4:-files}
case "$port" in '' | *[!0-9]*) echo "usage: $0 [PORT] [FOLDER] [DATABASES [URLPATH]]" >&2; exit 1 ;; esac

key='HKEY_LOCAL_MACHINE\Software\Microsoft\Today\Items\Kestrel\GsmDB'

echo
echo "[$key]"
# .reg strings double their backslashes.
echo "\"GSMDirectory\"=\"${folder//\\/\\\\}\""
for file in "$databases"/*.csv; do
    [ -f "$file" ] || continue
    netid=$(basename "$file" .csv)
    case "$netid" in '' | *[!0-9]*) continue ;; esac
    echo
    echo "[$key\\$netid]"
    echo "\"url\"=\"http://127.0.0.1:$port/$urlpath/$netid.csv\""
done
