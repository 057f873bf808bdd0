#!/usr/bin/env python3
"""Writes a radio scenario (docs/ril-scenario.md) that walks through the first cells of an
OpenCellID export, one step every 4 seconds, as demo/kestrel-demo.txt walks the demo data.

Usage: cells-walk.py EXPORT OUT [STEPS]   (default 12 steps)

EXPORT may be plain or gzip-compressed, with or without a header line. Only cells the radio
layer can report are taken: GSM, UMTS, LTE or NR, a network id of five digits, an area and a
cell id that fit in a signed 32-bit number. The export has no channel: the BCCH of each step
is made up from the cell id.
"""
import gzip
import sys

COLUMNS = ["radio", "mcc", "net", "area", "cell"]
RADIOS = {"GSM", "UMTS", "LTE", "NR"}


def cells(path):
    with open(path, "rb") as raw:
        gzipped = raw.read(2) == b"\x1f\x8b"
    opener = gzip.open if gzipped else open
    positions = dict(zip(COLUMNS, range(5)))
    with opener(path, "rt", encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f):
            fields = line.strip().split(",")
            if number == 0 and "mcc" in [x.lower() for x in fields]:
                names = [x.lower() for x in fields]
                aliases = {"net": ["net", "mnc"], "area": ["area", "lac", "tac"],
                           "cell": ["cell", "cid", "cellid"]}
                for column in COLUMNS:
                    for name in aliases.get(column, [column]):
                        if name in names:
                            positions[column] = names.index(name)
                            break
                continue
            try:
                radio = fields[positions["radio"]]
                mcc, net, area, cell = (int(fields[positions[c]]) for c in COLUMNS[1:])
            except (IndexError, ValueError):
                continue
            network = "%03d%02d" % (mcc, net) if net < 100 else "%03d%03d" % (mcc, net)
            if radio in RADIOS and len(network) == 5 and area < 2**31 and cell < 2**31:
                yield network, area, cell


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    steps = int(sys.argv[3]) if len(sys.argv) == 4 else 12
    walk = []
    for cell in cells(sys.argv[1]):
        if cell not in walk:
            walk.append(cell)
        if len(walk) == steps:
            break
    if not walk:
        sys.exit("no cell the radio layer can report in %s" % sys.argv[1])
    with open(sys.argv[2], "w") as out:
        out.write("# A walk through the first cells of %s (demo/cells-walk.py).\n" % sys.argv[1])
        out.write("mode time 4000\nlatency 30\nequipment 2\n")
        network = None
        for step in range(steps):
            if step:
                out.write("\nstep\n")
            cell_network, area, cell = walk[step % len(walk)]
            if cell_network != network:
                out.write('operator "%s"\n' % cell_network)
                network = cell_network
            out.write("cell lac=%d id=%d bcch=%d\n" % (area, cell, 1 + cell % 124))
            out.write("signal current=%d min=-113 max=-51\n" % (-60 - (step * 7) % 45))


if __name__ == "__main__":
    main()
