#!/usr/bin/env python3
"""Writes made-up cell data in OpenCellID's export layout (no real data goes into it):

    radio,mcc,net,area,cell,unit,lon,lat,range,samples,changeable,created,updated,averageSignal

Usage: gen_cells.py OUT LINES [--world] [--area-cells N] [--seed N] [--no-header]

Without --world: the Czech networks 230 01, 02 and 03 around Prague, Brno and Ostrava (the
demo's sample, demo/cells-sample.csv). With --world: about 200 networks in 70 countries of
very different sizes, as a world export has them (the benchmark's data). GSM, UMTS, LTE and NR
cells with the id ranges each radio has, about N cells to an area (default 400); lines of one
network come in shuffled blocks. OUT ending in .gz is written gzip-compressed.
"""
import argparse
import gzip
import random
import sys

HEADER = "radio,mcc,net,area,cell,unit,lon,lat,range,samples,changeable,created,updated,averageSignal\n"
CZECH_CITIES = [(50.0875, 14.4213), (49.1951, 16.6068), (49.8347, 18.2820), (49.7384, 13.3736),
                (50.7663, 15.0543), (49.5938, 17.2509), (48.9745, 14.4743)]
BLOCK = 4096


def cell_id(rng, radio):
    if radio == "GSM":
        return rng.randint(1, 65535)
    if radio == "UMTS":
        return rng.randint(1, 4095) * 65536 + rng.randint(1, 65535)
    if radio == "LTE":
        return rng.randint(1, 1048575) * 256 + rng.choice((1, 2, 3, 11, 12, 13, 21, 22, 23))
    return rng.randint(1, 16777215) * 4096 + rng.randint(0, 4095)


def networks(rng, world):
    """(mcc, net, share of the lines, centres) of every network."""
    if not world:
        return [(230, net, share, CZECH_CITIES) for net, share in ((1, 0.45), (2, 0.35), (3, 0.2))]
    out = []
    mccs = rng.sample(range(202, 750), 70)
    weights = []
    for rank, mcc in enumerate(mccs):
        centre = [(rng.uniform(-40, 60), rng.uniform(-120, 140))]
        centre += [(centre[0][0] + rng.uniform(-3, 3), centre[0][1] + rng.uniform(-3, 3))
                   for _ in range(4)]
        for net in rng.sample([1, 2, 3, 4, 5, 7, 10, 15, 20, 99, 120, 410], rng.randint(1, 5)):
            weights.append(1.0 / (rank + 1) ** 0.9 * rng.uniform(0.3, 1.0))
            out.append([mcc, net, 0, centre])
    total = sum(weights)
    for network, weight in zip(out, weights):
        network[2] = weight / total
    return [tuple(n) for n in out]


def network_lines(rng, mcc, net, count, centres, area_cells):
    radios = ["GSM"] * 35 + ["UMTS"] * 25 + ["LTE"] * 35 + ["NR"] * 5
    areas = max(1, count // area_cells)
    area_ids = rng.sample(range(1, 65535), min(areas, 65534))
    seen = set()
    block = []
    for _ in range(count):
        radio = rng.choice(radios)
        area = rng.choice(area_ids)
        cell = cell_id(rng, radio)
        while (area, cell) in seen:
            cell = cell_id(rng, radio)
        seen.add((area, cell))
        lat0, lon0 = centres[area % len(centres)]
        bits = rng.getrandbits(64)
        lat = lat0 + ((bits & 0xFFFF) / 65536 - 0.5) * 0.6
        lon = lon0 + (((bits >> 16) & 0xFFFF) / 65536 - 0.5) * 0.9
        created = 1262304000 + (bits >> 32) % 300000000
        updated = created + (bits >> 40) % 120000000
        block.append("%s,%d,%d,%d,%d,%d,%.6f,%.6f,%d,%d,1,%d,%d,0\n" % (
            radio, mcc, net, area, cell, (bits >> 48) % 504, lon, lat,
            100 + (bits >> 20) % 9000, 1 + (bits >> 50) % 300, created, updated))
        if len(block) == BLOCK:
            rng.shuffle(block)
            yield from block
            block = []
    rng.shuffle(block)
    yield from block


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out")
    parser.add_argument("lines", type=int)
    parser.add_argument("--world", action="store_true")
    parser.add_argument("--area-cells", type=int, default=400)
    parser.add_argument("--seed", type=int, default=16)
    parser.add_argument("--no-header", action="store_true")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    opener = gzip.open if args.out.endswith(".gz") else open
    with opener(args.out, "wt", encoding="ascii", newline="") as f:
        if not args.no_header:
            f.write(HEADER)
        nets = networks(rng, args.world)
        left = args.lines
        for i, (mcc, net, share, centres) in enumerate(nets):
            count = left if i == len(nets) - 1 else min(left, round(args.lines * share))
            left -= count
            f.writelines(network_lines(rng, mcc, net, count, centres, args.area_cells))


if __name__ == "__main__":
    main()
