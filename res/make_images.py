#!/usr/bin/env python3
"""Draws Veltmor's images and writes them next to this script.

    python3 res/make_images.py

Outputs, all in the standard 16-colour
palette, 4 bits per pixel:
    status.bmp   IDB_STATUS  32 x 16, two 16 x 16 status images on magenta
    banner.bmp   IDB_BANNER  23 x 209, grey band with "Windows 98" upward
    veltmor.ico  IDI_MAIN    32 x 32 and 16 x 16 application icon

Plain python3, standard library only; the bytes of the files are written
here, so the output is the same on every machine.  The outputs are
committed, so building the program does not need python.
"""

import os
import struct

# The standard 16-colour palette (Windows order), as (r, g, b).
PALETTE = [
    (0x00, 0x00, 0x00),  # 0  black
    (0x80, 0x00, 0x00),  # 1  dark red
    (0x00, 0x80, 0x00),  # 2  dark green
    (0x80, 0x80, 0x00),  # 3  olive
    (0x00, 0x00, 0x80),  # 4  navy
    (0x80, 0x00, 0x80),  # 5  purple
    (0x00, 0x80, 0x80),  # 6  teal
    (0xC0, 0xC0, 0xC0),  # 7  silver
    (0x80, 0x80, 0x80),  # 8  grey
    (0xFF, 0x00, 0x00),  # 9  red
    (0x00, 0xFF, 0x00),  # 10 lime
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]
BLACK, DKRED, DKGREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)

# Characters usable in the ASCII drawings below.
CHARS = {
    'K': BLACK, 'r': DKRED, 'g': DKGREEN, 'o': OLIVE, 'n': NAVY,
    'p': PURPLE, 't': TEAL, 's': SILVER, 'G': GREY, 'R': RED, 'L': LIME,
    'Y': YELLOW, 'B': BLUE, 'M': MAGENTA, 'C': CYAN, 'W': WHITE,
}


class Canvas:
    """A grid of palette indexes; None marks a transparent pixel (icons)."""

    def __init__(self, width, height, fill):
        self.width = width
        self.height = height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def rect(self, x0, y0, x1, y1, c):
        """Fills the rectangle from (x0, y0) to (x1, y1), both inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def hline(self, x0, x1, y, c):
        self.rect(x0, y, x1, y, c)

    def vline(self, x, y0, y1, c):
        self.rect(x, y0, x, y1, c)

    def art(self, x0, y0, rows):
        """Copies an ASCII drawing; '.' leaves the pixel as it is."""
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch != '.':
                    self.set(x0 + dx, y0 + dy, CHARS[ch])


# --------------------------------------------------------------------------
# File formats

def _dib_bits_4bpp(canvas, none_as=0):
    """Bottom-up 4-bit rows, each padded to a multiple of 4 bytes."""
    stride = ((canvas.width * 4 + 31) // 32) * 4
    out = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(canvas.width):
            c = canvas.get(x, y)
            c = none_as if c is None else c
            if x % 2 == 0:
                row[x // 2] |= c << 4
            else:
                row[x // 2] |= c
        out += row
    return bytes(out)


def _and_mask(canvas):
    """Bottom-up 1-bit rows: 1 where the pixel is transparent."""
    stride = ((canvas.width + 31) // 32) * 4
    out = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(canvas.width):
            if canvas.get(x, y) is None:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def _palette_bytes():
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)


def _info_header(width, height, image_size):
    # BITMAPINFOHEADER: 4 bpp, uncompressed, 16 colours used and important.
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0,
                       image_size, 0, 0, 16, 16)


def bmp_bytes(canvas):
    bits = _dib_bits_4bpp(canvas)
    header = _info_header(canvas.width, canvas.height, len(bits))
    palette = _palette_bytes()
    offset = 14 + len(header) + len(palette)
    filehdr = struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset)
    return filehdr + header + palette + bits


def ico_bytes(canvases):
    """An icon file with one 4-bpp image (with AND mask) per canvas."""
    images = []
    for cv in canvases:
        xor = _dib_bits_4bpp(cv, none_as=BLACK)
        mask = _and_mask(cv)
        # The height in an icon image's header counts XOR and AND halves.
        header = _info_header(cv.width, cv.height * 2, len(xor) + len(mask))
        images.append(header + _palette_bytes() + xor + mask)
    out = bytearray(struct.pack('<HHH', 0, 1, len(canvases)))
    offset = 6 + 16 * len(canvases)
    for cv, data in zip(canvases, images):
        out += struct.pack('<BBBBHHII', cv.width % 256, cv.height % 256, 16, 0,
                           1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


# --------------------------------------------------------------------------
# IDB_STATUS: red cross / green check mark in a white disc, on magenta

def draw_disc(cv, ox):
    """A white disc with a grey rim in the 16 x 16 cell starting at x = ox.

    Hard-edged: every pixel is either magenta (outside) or disc, so the
    image list's mask, taken on magenta, leaves no fringe."""
    rows = [
        "................",
        ".....GGGGGG.....",
        "...GGWWWWWWGG...",
        "..GWWWWWWWWWWG..",
        "..GWWWWWWWWWWG..",
        ".GWWWWWWWWWWWWG.",
        ".GWWWWWWWWWWWWG.",
        ".GWWWWWWWWWWWWG.",
        ".GWWWWWWWWWWWWG.",
        ".GWWWWWWWWWWWWG.",
        ".GWWWWWWWWWWWWG.",
        "..GWWWWWWWWWWG..",
        "..GWWWWWWWWWWG..",
        "...GGWWWWWWGG...",
        ".....GGGGGG.....",
        "................",
    ]
    cv.art(ox, 0, rows)


def make_status():
    cv = Canvas(32, 16, MAGENTA)
    # Image 0: target missing, a red cross.
    draw_disc(cv, 0)
    cv.art(0, 0, [
        "................",
        "................",
        "................",
        "................",
        "....RR....RR....",
        "....RRR..RRR....",
        ".....RRRRRR.....",
        "......RRRR......",
        "......RRRR......",
        ".....RRRRRR.....",
        "....RRR..RRR....",
        "....RR....RR....",
        "................",
        "................",
        "................",
        "................",
    ])
    # Image 1: target present, a green check mark.
    draw_disc(cv, 16)
    cv.art(16, 0, [
        "................",
        "................",
        "................",
        "................",
        "...........gg...",
        "..........ggg...",
        ".........ggg....",
        "...g....ggg.....",
        "...gg..ggg......",
        "...gggggg.......",
        "....gggg........",
        ".....gg.........",
        "................",
        "................",
        "................",
        "................",
    ])
    return cv


# --------------------------------------------------------------------------
# IDB_BANNER: grey band, "Windows" in bold and "98" in outline, upward

BOLD = {
    'W': [
        "##....##....##",
        "##....##....##",
        "##....##....##",
        "##....##....##",
        "##...####...##",
        "##...####...##",
        ".##..#..#..##.",
        ".##.##..##.##.",
        ".##.##..##.##.",
        "..###....###..",
        "..###....###..",
        "..##......##..",
        "..##......##..",
    ],
    'i': [
        "##",
        "##",
        "..",
        "..",
        "##",
        "##",
        "##",
        "##",
        "##",
        "##",
        "##",
        "##",
        "##",
    ],
    'n': [
        ".......",
        ".......",
        ".......",
        ".......",
        "##.###.",
        "#######",
        "###..##",
        "##...##",
        "##...##",
        "##...##",
        "##...##",
        "##...##",
        "##...##",
    ],
    'd': [
        ".....##",
        ".....##",
        ".....##",
        ".....##",
        ".###.##",
        "#######",
        "##..###",
        "##...##",
        "##...##",
        "##...##",
        "##..###",
        "#######",
        ".###.##",
    ],
    'o': [
        ".......",
        ".......",
        ".......",
        ".......",
        ".#####.",
        "#######",
        "##...##",
        "##...##",
        "##...##",
        "##...##",
        "##...##",
        "#######",
        ".#####.",
    ],
    'w': [
        "..........",
        "..........",
        "..........",
        "..........",
        "##..##..##",
        "##..##..##",
        "##..##..##",
        "##..##..##",
        "##.####.##",
        "##.####.##",
        ".###..###.",
        ".###..###.",
        ".##....##.",
    ],
    's': [
        ".......",
        ".......",
        ".......",
        ".......",
        ".######",
        "#######",
        "##.....",
        "######.",
        ".######",
        ".....##",
        ".....##",
        "#######",
        "######.",
    ],
}

# Solid shapes of the digits; the banner draws only their outline.
OUTLINE_SHAPES = {
    '9': [
        ".#####.",
        "#######",
        "##...##",
        "##...##",
        "##...##",
        "#######",
        ".######",
        ".....##",
        ".....##",
        "#######",
        ".#####.",
    ],
    '8': [
        ".#####.",
        "#######",
        "##...##",
        "##...##",
        "#######",
        ".#####.",
        "#######",
        "##...##",
        "##...##",
        "#######",
        ".#####.",
    ],
}


def make_banner():
    band, ink = GREY, WHITE
    # Drawn lying down (209 wide, 23 high), reading left to right, then
    # turned a quarter counter-clockwise so that it reads from bottom to top.
    lying = Canvas(209, 23, band)
    top = 5                 # first row of the capital's height
    x = 8                   # the word starts near the band's bottom end
    for ch in "Windows":
        glyph = BOLD[ch]
        for dy, row in enumerate(glyph):
            for dx, c in enumerate(row):
                if c == '#':
                    lying.set(x + dx, top + dy, ink)
        x += len(glyph[0]) + 1
    x += 5                  # word space
    for ch in "98":
        shape = OUTLINE_SHAPES[ch]
        h, w = len(shape), len(shape[0])
        inside = lambda cx, cy: (0 <= cy < h and 0 <= cx < w
                                 and shape[cy][cx] == '#')
        # The outline: pixels just outside the solid shape (8 neighbours).
        for cy in range(-1, h + 1):
            for cx in range(-1, w + 1):
                if inside(cx, cy):
                    continue
                if any(inside(cx + ex, cy + ey)
                       for ex in (-1, 0, 1) for ey in (-1, 0, 1)):
                    lying.set(x + 1 + cx, top + 1 + cy, ink)
        x += w + 3
    cv = Canvas(23, 209, band)
    for y in range(23):
        for x in range(209):
            # (x, y) lying -> (y, 208 - x) standing: left end goes down.
            cv.set(y, 208 - x, lying.get(x, y))
    return cv


# --------------------------------------------------------------------------
# IDI_MAIN: a pop-up menu with a side band and three entries, above a button

def make_icon32():
    cv = Canvas(32, 32, None)
    # The menu: black frame, 3-D silver face, grey side band.
    cv.rect(3, 0, 30, 21, BLACK)
    cv.rect(4, 1, 29, 20, SILVER)
    cv.hline(4, 28, 1, WHITE)
    cv.vline(4, 1, 19, WHITE)
    cv.hline(5, 29, 20, GREY)
    cv.vline(29, 2, 20, GREY)
    cv.rect(5, 2, 9, 19, GREY)
    # Three entries: a coloured square and a blue text mark.
    for i, colour in enumerate((LIME, RED, BLUE)):
        y = 3 + 6 * i
        cv.rect(11, y, 14, y + 3, BLACK)
        cv.rect(12, y + 1, 13, y + 2, colour)
        cv.rect(17, y + 1, 27, y + 2, NAVY)
    # The button: raised 3-D bar with a dark text mark.
    cv.rect(1, 23, 22, 31, BLACK)
    cv.rect(1, 23, 21, 30, SILVER)
    cv.hline(1, 21, 23, WHITE)
    cv.vline(1, 23, 30, WHITE)
    cv.hline(2, 21, 30, GREY)
    cv.vline(21, 24, 30, GREY)
    cv.rect(5, 26, 17, 27, BLACK)
    return cv


def make_icon16():
    cv = Canvas(16, 16, None)
    cv.rect(1, 0, 15, 10, BLACK)
    cv.rect(2, 1, 14, 9, SILVER)
    cv.rect(2, 1, 3, 9, GREY)
    for i, colour in enumerate((LIME, RED, BLUE)):
        y = 2 + 3 * i
        cv.rect(5, y, 6, y + 1, colour)
        cv.hline(8, 13, y + 1, NAVY)
    cv.rect(0, 12, 11, 15, BLACK)
    cv.rect(0, 12, 10, 14, SILVER)
    cv.hline(0, 10, 12, WHITE)
    cv.vline(0, 12, 14, WHITE)
    cv.hline(3, 8, 13, BLACK)
    return cv


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outputs = {
        'status.bmp': bmp_bytes(make_status()),
        'banner.bmp': bmp_bytes(make_banner()),
        'veltmor.ico': ico_bytes([make_icon32(), make_icon16()]),
    }
    for name, data in outputs.items():
        with open(os.path.join(here, name), 'wb') as f:
            f.write(data)
        print(f"wrote res/{name} ({len(data)} bytes)")


if __name__ == '__main__':
    main()
