#!/usr/bin/env python3
# Writes the uninstaller's pictures into a build directory: the three phase
# indicator bitmaps (11 x 8, 4 bits per pixel, standard 16-colour palette)
# and the program icon (32 x 32 and 16 x 16, 16 colours, with an AND mask).
# Usage: make_images.py <output directory> [--png]   (--png adds previews)

import os
import struct
import sys
import zlib

# The platform's standard 16 colours in their usual order (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_YELLOW, LIGHT_GREY, DARK_GREY = 0, 3, 7, 8
RED, YELLOW, WHITE = 9, 11, 15

# Phase indicators, top row first. B = background (light grey, mapped to the
# button face), R = figure (dark red), S = shadow (dark grey, mapped to the
# button shadow).
INDICATOR_CODES = {"B": 7, "R": 1, "S": 8}
INDICATORS = {
    "current.bmp": [  # arrow pointing right: the running phase
        "BBBBBBRBBBB",
        "BBBBBBRRBBB",
        "RRRRRRRRRBB",
        "RRRRRRRRRRB",
        "RRRRRRRRRSS",
        "BSSSSSRRSSB",
        "BBBBBBRSSBB",
        "BBBBBBBSBBB",
    ],
    "done.bmp": [  # check mark: a finished phase
        "BBBBBBBBRBB",
        "BBBBBBBRRSB",
        "BRBBBBRRRSB",
        "BRRBBRRRSSB",
        "BRRRRRRSSBB",
        "BBRRRRSSBBB",
        "BBBRRSSBBBB",
        "BBBBSSBBBBB",
    ],
    "pending.bmp": ["BBBBBBBBBBB"] * 8,  # empty: a phase not yet started
}


def PaletteBytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def PackRows4(rows):
    """4-bit pixel rows (top row first) as DIB bits: bottom-up, each row
    padded to a multiple of four bytes."""
    out = b""
    for row in reversed(rows):
        line = bytearray()
        for i in range(0, len(row), 2):
            high = row[i]
            low = row[i + 1] if i + 1 < len(row) else 0
            line.append((high << 4) | low)
        while len(line) % 4:
            line.append(0)
        out += bytes(line)
    return out


def PackMask(mask):
    """1-bit AND mask rows (1 = transparent), bottom-up, padded to 4 bytes."""
    out = b""
    for row in reversed(mask):
        line = bytearray((len(row) + 7) // 8)
        for x, bit in enumerate(row):
            if bit:
                line[x // 8] |= 0x80 >> (x % 8)
        while len(line) % 4:
            line.append(0)
        out += bytes(line)
    return out


def InfoHeader(width, height, cbImage, clrUsed):
    # BITMAPINFOHEADER: 1 plane, 4 bits per pixel, BI_RGB.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, cbImage, 0, 0,
                       clrUsed, 0)


def MakeBitmap(rows):
    pixels = [[INDICATOR_CODES[c] for c in row] for row in rows]
    bits = PackRows4(pixels)
    header = InfoHeader(len(pixels[0]), len(pixels), len(bits), 16)
    offBits = 14 + len(header) + 64
    fileHeader = struct.pack("<2sIHHI", b"BM", offBits + len(bits), 0, 0, offBits)
    return fileHeader + header + PaletteBytes() + bits


def PaintIcon(size):
    """The program icon at one size: an open cardboard box with a red cross
    in front of it. Shapes are laid out on a 32-unit grid and sampled at each
    pixel's centre, so both sizes show the same picture. Returns colour rows
    and mask rows (top row first)."""
    scale = 32.0 / size

    def Face(px, py):
        x = (px + 0.5) * scale
        y = (py + 0.5) * scale
        if 3 <= x < 21 and 13 <= y < 29:
            return "front"
        # The side leans up and right by one unit per unit across.
        if 21 <= x < 27 and 13 - (x - 21) <= y < 29 - (x - 21):
            return "side"
        # The open top: a parallelogram above the front.
        if 7 <= y < 13 and 3 + (13 - y) <= x < 21 + (13 - y):
            return "top"
        return None

    faces = [[Face(x, y) for x in range(size)] for y in range(size)]
    fill = {"front": DARK_YELLOW, "side": DARK_GREY, "top": YELLOW}
    colours = [[0] * size for _ in range(size)]
    mask = [[1] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            face = faces[y][x]
            if face is None:
                continue
            mask[y][x] = 0
            edge = False
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if not (0 <= nx < size and 0 <= ny < size) or faces[ny][nx] is None:
                    edge = True
                # The small icon has no room for lines between the faces.
                elif size >= 32 and faces[ny][nx] != face and (dx > 0 or dy > 0):
                    edge = True
            colours[y][x] = BLACK if edge else fill[face]

    # The red cross at the lower right, with a white rim so it stands out.
    cx, cy, reach = 22.5, 22.5, 7.5
    for y in range(size):
        for x in range(size):
            ux = (x + 0.5) * scale - cx
            uy = (y + 0.5) * scale - cy
            if max(abs(ux), abs(uy)) > reach + scale:
                continue
            # Distance from the nearer diagonal, in grid units.
            d = min(abs(ux - uy), abs(ux + uy)) / 1.4142
            if d <= 1.6 and max(abs(ux), abs(uy)) <= reach:
                colours[y][x] = RED
                mask[y][x] = 0
            elif d <= 1.6 + max(1.0, scale):
                colours[y][x] = WHITE
                mask[y][x] = 0
    return colours, mask


def MakeIcon(sizes):
    images = []
    for size in sizes:
        colours, mask = PaintIcon(size)
        xor = PackRows4(colours)
        andMask = PackMask(mask)
        header = InfoHeader(size, size * 2, len(xor) + len(andMask), 0)
        images.append((size, header + PaletteBytes() + xor + andMask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


def WritePng(path, rows, mask, zoom=8):
    """A zoomed preview, transparent pixels shown in pale cyan."""
    raw = b""
    for y, row in enumerate(rows):
        line = b""
        for x, index in enumerate(row):
            rgb = (224, 255, 255) if mask and mask[y][x] else PALETTE[index]
            line += bytes(rgb) * zoom
        raw += (b"\0" + line) * zoom
    width, height = len(rows[0]) * zoom, len(rows) * zoom

    def Chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    png = b"\x89PNG\r\n\x1a\n" + Chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += Chunk(b"IDAT", zlib.compress(raw)) + Chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def WriteFile(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: make_images.py <output directory> [--png]\n")
        return 2
    outDir = argv[1]
    os.makedirs(outDir, exist_ok=True)
    for name, rows in INDICATORS.items():
        WriteFile(os.path.join(outDir, name), MakeBitmap(rows))
    WriteFile(os.path.join(outDir, "twuninst.ico"), MakeIcon([32, 16]))
    if "--png" in argv[2:]:
        for size in (32, 16):
            colours, mask = PaintIcon(size)
            WritePng(os.path.join(outDir, "icon%d.png" % size), colours, mask, 256 // size)
        for name, rows in INDICATORS.items():
            pixels = [[INDICATOR_CODES[c] for c in row] for row in rows]
            WritePng(os.path.join(outDir, name[:-4] + ".png"), pixels, None, 16)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
