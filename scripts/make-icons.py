#!/usr/bin/env python3
"""Draws the program's icons: a desktop computer, plain (128, 130) and with a red
exclamation mark on its screen (129, 131). Writes 32x32 32-bit .ico files into res/."""
import os
import struct
import sys

SIZE = 32
CLEAR = (0, 0, 0, 0)
FRAME = (70, 70, 80, 255)
BEZEL = (190, 190, 200, 255)
SCREEN = (40, 110, 200, 255)
SHINE = (110, 170, 235, 255)
RED = (220, 20, 20, 255)
DARKRED = (140, 0, 0, 255)


def computer(mark):
    px = [[CLEAR] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = c

    rect(2, 2, 29, 22, FRAME)       # monitor case
    rect(3, 3, 28, 21, BEZEL)
    rect(5, 5, 26, 19, SCREEN)      # screen
    rect(6, 6, 11, 7, SHINE)
    rect(13, 23, 18, 25, FRAME)     # neck
    rect(6, 26, 25, 29, FRAME)      # base
    rect(7, 27, 24, 28, BEZEL)
    if mark:
        rect(14, 6, 17, 14, DARKRED)
        rect(15, 6, 16, 14, RED)
        rect(14, 16, 17, 18, DARKRED)
        rect(15, 16, 16, 17, RED)
    return px


def ico(px):
    # BITMAPINFOHEADER with doubled height (colour + mask), bottom-up rows, BGRA.
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(struct.pack('BBBB', b, g, r, a)
                      for row in reversed(px) for (r, g, b, a) in row)
    mask = b''
    for row in reversed(px):
        bits = 0
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits |= 1 << (31 - x)
        mask += struct.pack('>I', bits)
    image = header + colour + mask
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(image), 22)
    return directory + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'res')
    for name, mark in (('computer.ico', False), ('computer-alert.ico', True)):
        with open(os.path.join(out, name), 'wb') as f:
            f.write(ico(computer(mark)))


if __name__ == '__main__':
    main()
