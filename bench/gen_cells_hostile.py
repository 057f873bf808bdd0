#!/usr/bin/env python3
"""Writes made-up exports in OpenCellID's layout that stress the converter's bounds:

    repeats    LINES lines that repeat 300 cells of one network, as a careless merge of
               exports gives (memory must follow --memory, not the repeats)
    same-key   LINES lines of GSM and UMTS cells in pairs that share network, area and cell id
               (the converter reports every dropped one with the cell it keeps)
    districts  LINES cells, each with a district text of its own (the table of district texts
               must stay within the memory budget)

Usage: gen_cells_hostile.py KIND OUT LINES. OUT ending in .gz is written gzip-compressed.
"""
import argparse
import gzip
import random

HEADER = "radio,mcc,net,area,cell,unit,lon,lat,range,samples,changeable,created,updated,averageSignal"


def line(radio, area, cell, rng):
    return "%s,230,1,%d,%d,0,%.6f,%.6f,%d,%d,1,0,%d,0" % (
        radio, area, cell, rng.uniform(12, 18), rng.uniform(48, 51), rng.randint(100, 9000),
        rng.randint(1, 500), 1300000000 + rng.randint(0, 400000000))


def lines(kind, count, rng):
    if kind == "repeats":
        yield HEADER
        cells = [line("GSM", 100 + i % 20, 1 + i, rng) for i in range(300)]
        for i in range(count):
            yield cells[i % len(cells)]
    elif kind == "same-key":
        yield HEADER
        for i in range(count // 2):
            area, cell = 100 + i // 1000, 1 + i % 1000 * 61
            yield line("GSM", area, cell, rng)
            yield line("UMTS", area, cell, rng)
    else:
        yield HEADER + ",district"
        for i in range(count):
            yield line("GSM", 100 + i // 1000, 1 + i % 1000 * 61, rng) + ",Okres %08d %s" % (
                i, "x" * 24)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("kind", choices=("repeats", "same-key", "districts"))
    parser.add_argument("out")
    parser.add_argument("lines", type=int)
    args = parser.parse_args()
    rng = random.Random(7)
    if args.out.endswith(".gz"):
        out = gzip.open(args.out, "wt", compresslevel=9, newline="\n")
    else:
        out = open(args.out, "w", newline="\n")
    with out:
        for text in lines(args.kind, args.lines, rng):
            out.write(text + "\n")


if __name__ == "__main__":
    main()
