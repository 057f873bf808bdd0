#!/usr/bin/env python3
"""Writes a large BTS database for the lookup benchmark: Windows-1250, CRLF, ten fields.

Usage: gen_btsdb.py OUT.csv SIZE_MB
Cells 1000..99999 in LACs 1..999; coordinates, channels and site numbers are full of digits,
so that any cell id's text also occurs in other fields of many lines. The line of cell 12345
in LAC 4242 sits right before the last 1000 lines; LAC 999 is never used (a missing cell).
"""
import random
import sys

DISTRICTS = ["Praha-východ", "Žďár nad Sázavou", "Třebíč", "Brno-venkov", "České Budějovice",
             "Ústí nad Labem", "Plzeň-sever", "Hradec Králové", "Olomouc", "Jihlava",
             "Frýdek-Místek", "Karviná", "Kroměříž", "Uherské Hradiště", "Příbram"]
SITES = ["střecha", "stožár", "komín", "vodojem", "kostelní věž", "sila", "panelový dům"]


def line(rng, lac, cell):
    district = rng.choice(DISTRICTS)
    return "%s;%d;%d;%d;%s %s %d;%s;%s;%.5f;%.5f;%d\r\n" % (
        "230", cell, lac, rng.randint(1, 124), rng.choice(SITES), district.split()[0],
        rng.randint(1, 9999), district, "č.p. %d" % rng.randint(1, 3000),
        rng.uniform(48.5, 51.0), rng.uniform(12.1, 18.8), rng.randint(0, 99999))


def main():
    out, size_mb = sys.argv[1], float(sys.argv[2])
    target = int(size_mb * 1e6)
    rng = random.Random(6)
    lines, size = [], 0
    while size < target:
        text = line(rng, rng.randint(1, 998), rng.randint(1000, 99999)).encode("cp1250")
        lines.append(text)
        size += len(text)
    lines.insert(max(0, len(lines) - 1000), line(rng, 4242, 12345).encode("cp1250"))
    with open(out, "wb") as f:
        f.writelines(lines)


if __name__ == "__main__":
    main()
