#!/usr/bin/env python3
"""Turns the text pictures in res/ into the icon and cursor the resource
script includes.

  text_picture_to_ico.py icon   PICTURE.txt OUT.ico   (32 x 32, 16 colours)
  text_picture_to_ico.py cursor PICTURE.txt OUT.cur   (32 x 32, monochrome, hot spot 0,0)

A picture is 32 lines of 32 characters after its '#' comments and, for an
icon, one 'legend:' line mapping characters to the standard 16-colour palette.
"""
import struct
import sys

SIZE = 32
PALETTE16 = {
    "black": (0, 0, 0), "maroon": (128, 0, 0), "green": (0, 128, 0), "olive": (128, 128, 0),
    "navy": (0, 0, 128), "purple": (128, 0, 128), "teal": (0, 128, 128), "silver": (192, 192, 192),
    "gray": (128, 128, 128), "red": (255, 0, 0), "lime": (0, 255, 0), "yellow": (255, 255, 0),
    "blue": (0, 0, 255), "fuchsia": (255, 0, 255), "aqua": (0, 255, 255), "white": (255, 255, 255),
}
PALETTE_ORDER = list(PALETTE16)


def read_picture(path):
    legend = {}
    rows = []
    with open(path, encoding="utf-8") as picture:
        for line in picture:
            line = line.rstrip("\n")
            if line.startswith("#"):
                continue
            if line.startswith("legend:"):
                for pair in line[len("legend:"):].split():
                    char, colour = pair.split("=")
                    legend[char] = PALETTE_ORDER.index(colour)
                continue
            rows.append(line)
    if len(rows) != SIZE or any(len(row) != SIZE for row in rows):
        sys.exit(f"{path}: the picture must be {SIZE} lines of {SIZE} characters")
    return legend, rows


def pack_bits(bits):
    """Bottom-up rows of 1-bit pixels, most significant bit first."""
    out = bytearray()
    for row in reversed(bits):
        for start in range(0, SIZE, 8):
            byte = 0
            for bit in row[start:start + 8]:
                byte = (byte << 1) | bit
            out.append(byte)
    return bytes(out)


def bitmap_header(bit_count, colours, image_size):
    # The height counts the colour image and the transparency mask together.
    return struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bit_count, 0, image_size, 0, 0,
                       colours, 0)


def palette_bytes(colours):
    return b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in colours)


def make_icon(legend, rows):
    transparent = [[1 if ch == " " else 0 for ch in row] for row in rows]
    pixels = bytearray()
    for row in reversed(rows):
        for x in range(0, SIZE, 2):
            hi = 0 if row[x] == " " else legend[row[x]]
            lo = 0 if row[x + 1] == " " else legend[row[x + 1]]
            pixels.append((hi << 4) | lo)
    mask = pack_bits(transparent)
    body = (bitmap_header(4, 16, len(pixels) + len(mask)) +
            palette_bytes(PALETTE16.values()) + bytes(pixels) + mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(body), 6 + 16)
    return directory + entry + body


def make_cursor(rows):
    allowed = set("kw.")
    if any(ch not in allowed for row in rows for ch in row):
        sys.exit("a cursor picture uses only k, w and .")
    white = [[1 if ch == "w" else 0 for ch in row] for row in rows]
    transparent = [[1 if ch == "." else 0 for ch in row] for row in rows]
    colour = pack_bits(white)
    mask = pack_bits(transparent)
    body = (bitmap_header(1, 2, len(colour) + len(mask)) +
            palette_bytes([(0, 0, 0), (255, 255, 255)]) + colour + mask)
    directory = struct.pack("<HHH", 0, 2, 1)
    hot_x, hot_y = 0, 0
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, hot_x, hot_y, len(body), 6 + 16)
    return directory + entry + body


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("icon", "cursor"):
        sys.exit(__doc__)
    kind, source, target = sys.argv[1:]
    legend, rows = read_picture(source)
    data = make_icon(legend, rows) if kind == "icon" else make_cursor(rows)
    with open(target, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
