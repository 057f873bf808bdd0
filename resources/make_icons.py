#!/usr/bin/env python3
"""Draws the item's 16x16 icons and writes them as .ico files (32-bit BGRA with an AND mask).

kestrel.ico         item icon: a radio mast sending waves
monitoring_on.ico   green mast with waves (polling on)
monitoring_off.ico  grey mast, no waves, red slash (polling off)
logging_on.ico      page with blue lines and a green pencil tip (cell log written)
logging_off.ico     grey page with a red slash (cell log off)
"""
import os
import struct

N = 16
CLEAR = None


def canvas():
    return [[CLEAR] * N for _ in range(N)]


def put(img, x, y, color):
    if 0 <= x < N and 0 <= y < N:
        img[y][x] = color


def line(img, x0, y0, x1, y1, color):
    dx, dy = abs(x1 - x0), -abs(y1 - y0)
    sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
    err = dx + dy
    while True:
        put(img, x0, y0, color)
        if x0 == x1 and y0 == y1:
            return
        e2 = 2 * err
        if e2 >= dy:
            err += dy
            x0 += sx
        if e2 <= dx:
            err += dx
            y0 += sy


def rect(img, x0, y0, x1, y1, color):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            put(img, x, y, color)


def mast(img, color, waves):
    # Lattice mast from (7,4) down to a wide foot.
    line(img, 7, 5, 4, 15, color)
    line(img, 8, 5, 11, 15, color)
    line(img, 5, 12, 10, 12, color)
    line(img, 6, 8, 9, 8, color)
    line(img, 5, 12, 9, 8, color)
    rect(img, 7, 3, 8, 4, color)
    if waves:
        for x, y0, y1 in ((4, 2, 5), (11, 2, 5)):
            line(img, x, y0, x, y1, waves)
        for x, y0, y1 in ((1, 1, 6), (14, 1, 6)):
            line(img, x, y0, x, y1, waves)
        put(img, 5, 1, waves)
        put(img, 10, 1, waves)
        put(img, 2, 0, waves)
        put(img, 13, 0, waves)


def slash(img, color):
    line(img, 1, 14, 14, 1, color)
    line(img, 2, 14, 14, 2, color)


def page(img, paper, ink):
    rect(img, 3, 1, 12, 14, paper)
    line(img, 3, 1, 12, 1, ink)
    line(img, 3, 14, 12, 14, ink)
    line(img, 3, 1, 3, 14, ink)
    line(img, 12, 1, 12, 14, ink)


BLACK = (0, 0, 0)
GREEN = (20, 170, 20)
BRIGHT = (51, 255, 0)
GREY = (128, 128, 128)
LIGHT = (200, 200, 200)
RED = (220, 0, 0)
BLUE = (30, 70, 200)
WHITE = (255, 255, 255)
ORANGE = (230, 120, 0)


def item_icon():
    img = canvas()
    mast(img, BLACK, ORANGE)
    return img


def monitoring(on):
    img = canvas()
    if on:
        mast(img, GREEN, BRIGHT)
    else:
        mast(img, GREY, None)
        slash(img, RED)
    return img


def logging(on):
    img = canvas()
    if on:
        page(img, WHITE, BLACK)
        for y in (4, 7, 10):
            line(img, 5, y, 10, y, BLUE)
        line(img, 8, 12, 14, 6, GREEN)
        line(img, 9, 12, 14, 7, GREEN)
        put(img, 8, 13, BLACK)
    else:
        page(img, LIGHT, GREY)
        for y in (4, 7, 10):
            line(img, 5, y, 10, y, GREY)
        slash(img, RED)
    return img


def ico_bytes(img):
    xor = bytearray()
    for y in reversed(range(N)):
        for x in range(N):
            c = img[y][x]
            xor += bytes((c[2], c[1], c[0], 255)) if c else bytes(4)
    mask = bytearray()
    for y in reversed(range(N)):
        bits = 0
        for x in range(N):
            if img[y][x] is None:
                bits |= 1 << (15 - x)
        mask += struct.pack(">H", bits) + bytes(2)  # rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, N, 2 * N, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", N, N, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    icons = {
        "kestrel.ico": item_icon(),
        "monitoring_on.ico": monitoring(True),
        "monitoring_off.ico": monitoring(False),
        "logging_on.ico": logging(True),
        "logging_off.ico": logging(False),
    }
    for name, img in icons.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(ico_bytes(img))


if __name__ == "__main__":
    main()
