#!/usr/bin/env python3
"""Writes a made-up Kestrel cell log (UTF-16LE with byte-order mark, as the item writes it)
through cells of an OpenCellID-layout export, for the cell-log benchmark:

    dd.mm.yyyy;hh:mm:ss;lac;cellId;bcch;networkId; <LF>

Usage: gen_celllog.py EXPORT OUT LINES [--every N] [--seed N]

Every N-th line of the export (default 100) gives a cell; the walk moves among neighbouring
cells of that list, a line every 5 to 120 s from 1 March 2026 (so it crosses changes of
daylight saving time), with an error record glued to a cell line now and then; one cell in
fifty of the walk is in a network that the export does not hold.
"""
import argparse
import datetime
import random


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("export")
    parser.add_argument("out")
    parser.add_argument("lines", type=int)
    parser.add_argument("--every", type=int, default=100)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)

    cells = []
    with open(args.export, encoding="utf-8") as export:
        for number, line in enumerate(export):
            if number % args.every != 1:
                continue
            fields = line.split(",")
            if len(fields) < 5 or fields[0] == "CDMA":
                continue
            mcc, net = int(fields[1]), int(fields[2])
            network = "%03d%03d" % (mcc, net) if net > 99 else "%03d%02d" % (mcc, net)
            cells.append((fields[3], fields[4], network))
            if len(cells) % 50 == 0:
                cells.append((fields[3], fields[4], "99999"))

    time = datetime.datetime(2026, 3, 1, 6, 0, 0)
    at = rng.randrange(len(cells))
    out = []
    for _ in range(args.lines):
        at = (at + rng.randint(-3, 3)) % len(cells)
        lac, cell, network = cells[at]
        if rng.random() < 0.001:
            out.append("ERROR:: Nepodařilo se inicializovat knihovnu RIL")
        out.append("%s;%s;%s;%s;%d;%s; \n" % (time.strftime("%d.%m.%Y"), time.strftime("%H:%M:%S"),
                                               lac, cell, rng.randint(1, 124), network))
        time += datetime.timedelta(seconds=rng.randint(5, 120))
    with open(args.out, "wb") as log:
        log.write(b"\xff\xfe" + "".join(out).encode("utf-16-le"))


if __name__ == "__main__":
    main()
