#!/usr/bin/env python3
"""Draws the launcher's pictures: the application icon (a cairn of stones, 32x32 and 16x16),
the hand cursor shown over the vendor link, and the welcome bitmap of the install dialog.

usage: make_art.py OUTPUT_DIR   (writes sfxstub.ico, link.cur and welcome.bmp there)

Everything is 16-colour or monochrome to keep the launcher small; only the standard library is used.
"""
import struct
import sys
from pathlib import Path

# The 16-colour palette (R, G, B); unused entries stay black.
PALETTE = [
    (0, 0, 0),        # 0 black
    (64, 64, 64),     # 1 outline
    (128, 128, 128),  # 2 stone
    (96, 96, 104),    # 3 dark stone
    (192, 192, 184),  # 4 light stone
    (168, 208, 240),  # 5 sky
    (96, 160, 72),    # 6 grass
    (64, 120, 48),    # 7 dark grass
    (255, 255, 255),  # 8 white
] + [(0, 0, 0)] * 7
SKY, GRASS, DARK_GRASS = 5, 6, 7

# Stones from the bottom up: centre x, centre y, radius x, radius y (fractions of the picture)
# and the stone's own colour.
STONES = [
    (0.50, 0.86, 0.44, 0.12, 2),
    (0.47, 0.67, 0.34, 0.10, 3),
    (0.53, 0.51, 0.26, 0.085, 2),
    (0.48, 0.37, 0.19, 0.075, 3),
    (0.51, 0.25, 0.12, 0.06, 2),
]


def inside(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def draw_cairn(width, height, top, bottom, background):
    """Rows of palette indices (top row first); background(x, y) gives what lies behind the stones,
    None for transparent. The stones fill the rows from top to bottom."""
    span = bottom - top
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            x, y = (px + 0.5) / width, (py + 0.5 - top) / span
            colour = background(px, py)
            for cx, cy, rx, ry, own in STONES:
                if not inside(x, y, cx, cy, rx, ry):
                    continue
                edge_x, edge_y = 1.2 / width, 1.2 / span
                if not inside(x, y, cx, cy, max(rx - edge_x, rx / 3), max(ry - edge_y, ry / 3)):
                    colour = 1
                elif inside(x, y, cx - rx * 0.25, cy - ry * 0.35, rx * 0.55, ry * 0.4):
                    colour = 4
                else:
                    colour = own
            row.append(colour)
        rows.append(row)
    return rows


def packed_rows(rows, bits):
    """Bottom-up rows of bits-per-pixel data, each padded to four bytes."""
    out = bytearray()
    per_byte = 8 // bits
    for row in reversed(rows):
        line = bytearray()
        for i in range(0, len(row), per_byte):
            value = 0
            for j in range(per_byte):
                pixel = row[i + j] if i + j < len(row) else 0
                value = (value << bits) | pixel
            line.append(value)
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def info_header(width, height, bits, image_size, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, colours, 0)


def palette_bytes(colours):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)


def icon_image(rows, mask, bits, colours):
    """An icon or cursor image: header of double height, palette, colour bits, then the AND mask
    (1 where the screen shows through)."""
    size = len(rows)
    xor = packed_rows(rows, bits)
    and_mask = packed_rows(mask, 1)
    return info_header(size, size * 2, bits, len(xor) + len(and_mask), 0) + palette_bytes(colours) + xor + and_mask


def icon_file(kind, entries):
    """An .ico (kind 1) or .cur (kind 2) file. entries: (size, colour count, field1, field2, image);
    the two fields are planes and bit count for icons, the hot spot for cursors."""
    header = struct.pack("<HHH", 0, kind, len(entries))
    offset = len(header) + 16 * len(entries)
    directory, images = b"", b""
    for size, colours, field1, field2, image in entries:
        directory += struct.pack("<BBBBHHII", size, size, colours, 0, field1, field2, len(image), offset)
        offset += len(image)
        images += image
    return header + directory + images


def bitmap_file(rows, colours):
    """A 16-colour bitmap file of the rows (top row first)."""
    bits = packed_rows(rows, 4)
    info = info_header(len(rows[0]), len(rows), 4, len(bits), 16) + palette_bytes(colours)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    return header + info + bits


def make_icon():
    entries = []
    for size in (32, 16):
        rows = draw_cairn(size, size, 0, size, lambda x, y: None)
        mask = [[1 if c is None else 0 for c in row] for row in rows]
        rows = [[0 if c is None else c for c in row] for row in rows]
        entries.append((size, 16, 1, 4, icon_image(rows, mask, 4, PALETTE)))
    return icon_file(1, entries)


# A pointing hand: X outline, everything it encloses white, the rest transparent.
HAND = """
......XX.........
.....X..X........
.....X..X........
.....X..X........
.....X..X........
.....X..XXX......
.....X..X..XXX...
.....X..X..X..XX.
..XX.X..X..X..X.X
.X..XX........X.X
.X...X..........X
..X.............X
...X............X
...X...........X.
....X..........X.
....X.........X..
.....X........X..
.....XXXXXXXXXX..
"""
HOT_SPOT = (6, 0)


def make_cursor():
    art = [line for line in HAND.strip().splitlines()]
    size = 32
    grid = [[art[y][x] if y < len(art) and x < len(art[y]) else "." for x in range(size)] for y in range(size)]
    # Whatever the outline does not enclose is reachable from the corner.
    outside = set()
    todo = [(size - 1, size - 1)]
    while todo:
        x, y = todo.pop()
        if (x, y) in outside or not (0 <= x < size and 0 <= y < size) or grid[y][x] == "X":
            continue
        outside.add((x, y))
        todo += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]
    # Monochrome cursor: colour 0 black, 1 white; the mask keeps the screen outside the hand.
    rows = [[0 if grid[y][x] == "X" else (0 if (x, y) in outside else 1) for x in range(size)] for y in range(size)]
    mask = [[1 if (x, y) in outside else 0 for x in range(size)] for y in range(size)]
    image = icon_image(rows, mask, 1, [(0, 0, 0), (255, 255, 255)])
    return icon_file(2, [(size, 2, HOT_SPOT[0], HOT_SPOT[1], image)])


def make_bitmap():
    width, height = 64, 96
    ground = int(height * 0.86)

    def landscape(x, y):
        if y < ground:
            return SKY
        return DARK_GRASS if (x + 2 * y) % 7 == 0 else GRASS

    return bitmap_file(draw_cairn(width, height, 12, height - 4, landscape), PALETTE)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / "sfxstub.ico").write_bytes(make_icon())
    (out / "link.cur").write_bytes(make_cursor())
    (out / "welcome.bmp").write_bytes(make_bitmap())


if __name__ == "__main__":
    main()
