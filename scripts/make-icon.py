#!/usr/bin/env python3
"""Draws ui/morvi.ico: a 32 x 32, 16-colour stopwatch face."""
import math
import struct
import sys

SIZE = 32
# The standard 16-colour palette (B, G, R, 0).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255),
    (255, 255, 255)]
BLACK, GREY, SILVER, WHITE, RED = 0, 8, 7, 15, 12  # RED is palette (0, 0, 255) in B, G, R order


def draw():
    pixels = [[None] * SIZE for _ in range(SIZE)]  # None: transparent
    cx, cy, r = 15.5, 17.5, 13.0
    for y in range(SIZE):
        for x in range(SIZE):
            d = math.hypot(x - cx, y - cy)
            if d <= r - 2.2:
                pixels[y][x] = BLACK
            elif d <= r:
                pixels[y][x] = SILVER if d <= r - 1 else GREY
    for y in range(0, 4):  # the crown
        for x in range(13, 19):
            pixels[y][x] = SILVER if y < 2 else GREY
    for i in range(12):  # hour ticks
        a = i * math.pi / 6
        x, y = cx + math.sin(a) * (r - 4), cy - math.cos(a) * (r - 4)
        pixels[int(round(y))][int(round(x))] = WHITE
    for t in range(0, 9):  # the hand, pointing at two o'clock
        a = math.pi / 3
        x, y = cx + math.sin(a) * t, cy - math.cos(a) * t
        pixels[int(round(y))][int(round(x))] = RED
    pixels[int(cy)][int(cx)] = WHITE
    return pixels


def ico(pixels):
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bottom-up
        nibbles = [(p if p is not None else 0) for p in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is None else 0)
        and_rows.append(bits.to_bytes(4, "big"))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in [(c[2], c[1], c[0]) for c in PALETTE])
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 22)
    return directory + image


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "ui/morvi.ico", "wb") as out:
        out.write(ico(draw()))
