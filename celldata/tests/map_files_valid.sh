#!/usr/bin/env bash
# The map files celllog2map writes, checked by the formats' own rules: the GPX against the GPX
# 1.1 schema and the KML against the OGC KML 2.2 schema (xmllint, schemas from the set-up in
# tools/env.sh), the GeoJSON by RFC 7946 (types, longitude before latitude, ranges, lines of
# two positions or more). The log has error records glued to cell lines, a cell missing from
# the database, two days, and a name that XML must escape.
# Usage: map_files_valid.sh CELLLOG2MAP.EXE SCHEMA_FOLDER
set -euo pipefail
program=$1
schemas=$2
for schema in Topografix_gpx11.xsd ogckml22.xsd; do
    [ -f "$schemas/$schema" ] || { echo "no $schemas/$schema: run tools/env.sh's set-up (./tools/test.sh)"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
winpath() { echo "Z:$(realpath -m "$1" | sed 's|/|\\|g')"; }

mkdir "$work/db"
printf '1001;GSM;100;62;GSM 1001;Praha;\xb1536\xa0m;50.0771;14.4512\r\n1002;LTE;100;;;;;50.0809;14.4510\r\n1003;UMTS;101;;;;;-33.8688;151.2093\r\n' \
    >"$work/db/23001.csv"
python3 - "$work/walk & talk.txt" <<'PY'
import sys
log = ("09.03.2008;07:05:03;100;1001;62;23001; \n"
       "ERROR:: Nepodařilo se inicializovat knihovnu RIL09.03.2008;07:06:00;100;1002;64;23001; \n"
       "09.03.2008;07:07:00;100;9999;64;23001; \n"
       "09.03.2008;07:08:00;101;1003;70;23001; \n"
       "10.03.2008;07:00:00;100;1001;62;23001; \n"
       "10.03.2008;07:30:00;101;1003;70;23001; \n")
open(sys.argv[1], "wb").write(b"\xff\xfe" + log.encode("utf-16-le"))
PY
LC_ALL=cs_CZ.UTF-8 wine "$program" --bts "$(winpath "$work/db")" --out "$(winpath "$work/drive")" \
    --zone "Central Europe Standard Time" "$(winpath "$work/walk & talk.txt")" </dev/null | tr -d '\r'

xmllint --noout --nonet --schema "$schemas/Topografix_gpx11.xsd" "$work/drive.gpx"
xmllint --noout --nonet --schema "$schemas/ogckml22.xsd" "$work/drive.kml"
python3 - "$work/drive.geojson" <<'PY'
import json, sys

def fail(message):
    sys.exit("%s: %s" % (sys.argv[1], message))

def reject(constant):
    fail("%s is no JSON number" % constant)

document = json.loads(open(sys.argv[1], encoding="utf-8").read(), parse_constant=reject)
towers = {"1001": (14.4512, 50.0771), "1002": (14.4510, 50.0809), "1003": (151.2093, -33.8688)}

def position(value):
    if (not isinstance(value, list) or len(value) != 2 or
            any(isinstance(x, bool) or not isinstance(x, (int, float)) for x in value)):
        fail("%r is no position" % (value,))
    lon, lat = value
    if not (-180 <= lon <= 180 and -90 <= lat <= 90):
        fail("%r is out of range (longitude, latitude)" % (value,))
    return lon, lat

if document.get("type") != "FeatureCollection" or "crs" in document:
    fail("not a FeatureCollection of RFC 7946")
points = lines = 0
for feature in document["features"]:
    geometry = feature.get("geometry")
    if feature.get("type") != "Feature" or not isinstance(feature.get("properties"), dict):
        fail("%r is no Feature with properties" % feature)
    if geometry["type"] == "Point":
        points += 1
        cell = feature["properties"]["cell"]
        if position(geometry["coordinates"]) != towers[cell]:
            fail("cell %s is not at its tower %r" % (cell, towers[cell]))
    elif geometry["type"] == "LineString":
        lines += 1
        if len(geometry["coordinates"]) < 2:
            fail("a LineString of fewer than two positions")
        for value in geometry["coordinates"]:
            position(value)
    else:
        fail("unexpected geometry %r" % geometry["type"])
if (points, lines) != (5, 2):
    fail("%d points and %d lines, not 5 and 2" % (points, lines))
print("%s validates (%d points, %d lines)" % (sys.argv[1], points, lines))
PY
