#!/usr/bin/env python3
"""Draws the Explorer extension's pictures: the archive icon (203), the overlays of added (501),
removed (503), changed (504) and current (505) items, the snapshot icon (507), each at 32x32 and
16x16, the toolbar bitmap (552): 16x16 images of the snapshot button and of the Views button, and
the picture of the restore dialog (553): a folder taking back what rises from an archive.

usage: make_art.py OUTPUT_DIR   (writes archive.ico, added.ico, removed.ico, changed.ico,
                                 current.ico, snapshot.ico, toolbar.bmp and restore.bmp there)

Everything is 16-colour and drawn from shapes in unit coordinates; the icon and bitmap file
writers are the launcher's (sfx/art/make_art.py). Only the standard library is used.
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "sfx" / "art"))
from make_art import bitmap_file, icon_file, icon_image  # noqa: E402

PALETTE = [
    (0, 0, 0),        # 0 black
    (64, 64, 64),     # 1 outline
    (128, 128, 128),  # 2 stone
    (96, 96, 104),    # 3 dark stone
    (200, 200, 192),  # 4 light stone
    (255, 255, 255),  # 5 white
    (24, 160, 48),    # 6 green
    (200, 32, 32),    # 7 red
    (240, 150, 0),    # 8 orange
    (32, 96, 208),    # 9 blue
    (248, 244, 228),  # 10 paper
    (184, 136, 72),   # 11 wood
    (128, 88, 40),    # 12 dark wood
    (192, 192, 192),  # 13 toolbar face (mapped to the button colour by the toolbar)
    (168, 208, 240),  # 14 sky
    (240, 200, 80),   # 15 folder
]
OUTLINE, STONE, DARK_STONE, LIGHT_STONE, WHITE = 1, 2, 3, 4, 5
GREEN, RED, ORANGE, BLUE, PAPER, WOOD, DARK_WOOD, FACE, SKY, FOLDER = 6, 7, 8, 9, 10, 11, 12, 13, 14, 15


def ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def cairn(x, y, left, top, width, height, pixel):
    """Three stones stacked in the box (left, top, width, height); None outside them. `pixel` is one
    pixel's size in unit coordinates, for the outline."""
    stones = [(0.50, 0.80, 0.48, 0.19, STONE), (0.47, 0.50, 0.34, 0.16, DARK_STONE), (0.53, 0.23, 0.22, 0.13, STONE)]
    u, v = (x - left) / width, (y - top) / height
    colour = None
    for cx, cy, rx, ry, own in stones:
        if not ellipse(u, v, cx, cy, rx, ry):
            continue
        edge_u, edge_v = pixel / width, pixel / height
        if not ellipse(u, v, cx, cy, max(rx - edge_u, rx / 3), max(ry - edge_v, ry / 3)):
            colour = OUTLINE
        elif ellipse(u, v, cx - rx * 0.25, cy - ry * 0.35, rx * 0.5, ry * 0.4):
            colour = LIGHT_STONE
        else:
            colour = own
    return colour


def archive(x, y, pixel):
    """A wooden chest with a cairn standing on it."""
    if 0.06 <= x <= 0.94 and 0.52 <= y <= 0.96:
        if x < 0.06 + pixel or x > 0.94 - pixel or y < 0.52 + pixel or y > 0.96 - pixel:
            return OUTLINE
        if abs(y - 0.66) < pixel * 0.6:
            return DARK_WOOD
        if 0.44 <= x <= 0.56 and 0.62 <= y <= 0.76:
            return DARK_WOOD
        return WOOD
    return cairn(x, y, 0.18, 0.02, 0.64, 0.52, pixel)


def snapshot(x, y, pixel):
    """A sheet with a folded corner and a cairn on it."""
    if not (0.14 <= x <= 0.86 and 0.04 <= y <= 0.96):
        return None
    corner = 0.26
    if x - 0.86 + corner > y - 0.04:  # cut off beyond the fold
        return None
    if x < 0.14 + pixel or y > 0.96 - pixel or y < 0.04 + pixel or x > 0.86 - pixel:
        return OUTLINE
    if abs((x - 0.86 + corner) - (y - 0.04)) < pixel:
        return OUTLINE
    if x > 0.86 - corner and y < 0.04 + corner:
        return OUTLINE if x > 0.86 - corner + pixel * 0.5 and y > 0.04 + corner - pixel else LIGHT_STONE
    stone = cairn(x, y, 0.24, 0.30, 0.52, 0.58, pixel)
    return stone if stone is not None else PAPER


def badge(colour, mark):
    """An overlay: a round badge in the lower left quarter with a white mark; transparent elsewhere."""
    def draw(x, y, pixel):
        cx, cy, r = 0.24, 0.76, 0.23
        if not ellipse(x, y, cx, cy, r, r):
            return None
        if not ellipse(x, y, cx, cy, r - pixel, r - pixel):
            return OUTLINE
        u, v = (x - cx) / r, (y - cy) / r
        return WHITE if mark(u, v, pixel / r) else colour
    return draw


def plus(u, v, w):
    return (abs(u) < 0.6 and abs(v) < 0.18 + w / 2) or (abs(v) < 0.6 and abs(u) < 0.18 + w / 2)


def minus(u, v, w):
    return abs(u) < 0.6 and abs(v) < 0.18 + w / 2


def changed(u, v, w):
    return abs(u) < 0.6 and (abs(v - 0.3) < 0.13 + w / 2 or abs(v + 0.3) < 0.13 + w / 2)


def dot(u, v, w):
    return u * u + v * v < (0.35 + w / 2) ** 2


def render(draw, size):
    pixel = 1.0 / size
    return [[draw((px + 0.5) / size, (py + 0.5) / size, pixel) for px in range(size)] for py in range(size)]


def make_icon(draw):
    entries = []
    for size in (32, 16):
        rows = render(draw, size)
        mask = [[1 if c is None else 0 for c in row] for row in rows]
        rows = [[0 if c is None else c for c in row] for row in rows]
        entries.append((size, 16, 1, 4, icon_image(rows, mask, 4, PALETTE)))
    return icon_file(1, entries)


def snapshot_button(x, y, pixel):
    """The toolbar's snapshot button: a cairn with a green spark of something new."""
    if plus((x - 0.76) / 0.24, (y - 0.24) / 0.24, 0.0):
        return GREEN
    stone = cairn(x, y, 0.0, 0.22, 0.72, 0.78, pixel)
    return FACE if stone is None else stone


def views_button(x, y, pixel):
    """The Views button, for systems whose view bitmap has no view-menu image: four small icons."""
    for left, top in ((0.06, 0.12), (0.56, 0.12), (0.06, 0.56), (0.56, 0.56)):
        if left <= x <= left + 0.38 and top <= y <= top + 0.32:
            edge = x < left + pixel or x > left + 0.38 - pixel or y < top + pixel or y > top + 0.32 - pixel
            return OUTLINE if edge else BLUE
    return FACE


def make_toolbar():
    snapshot_rows, views_rows = render(snapshot_button, 16), render(views_button, 16)
    return bitmap_file([a + b for a, b in zip(snapshot_rows, views_rows)], PALETTE)


def folder(x, y, pixel):
    """A folder with its tab, in the box (0.2, 0.06)-(0.8, 0.30) of the restore picture."""
    left, right, top, bottom = 0.2, 0.8, 0.10, 0.30
    if left <= x <= 0.45 and 0.06 <= y <= top + pixel:
        edge = x < left + pixel or x > 0.45 - pixel or y < 0.06 + pixel
        return OUTLINE if edge else FOLDER
    if left <= x <= right and top <= y <= bottom:
        edge = x < left + pixel or x > right - pixel or y < top + pixel or y > bottom - pixel
        return OUTLINE if edge else FOLDER
    return None


def arrow(x, y, pixel):
    """A green arrow from the archive up to the folder."""
    if 0.44 <= x <= 0.56 and 0.40 <= y <= 0.47:
        return GREEN
    if 0.32 <= y <= 0.40 and abs(x - 0.5) <= (y - 0.32) * 1.8:
        return GREEN
    return None


def restore_picture(width, height):
    """The restore dialog's picture: sky, the archive on the ground, an arrow rising from it into a
    folder. Coordinates are fractions of the picture; it is taller than wide."""
    aspect = height / width
    chest_width = 0.7
    chest_top = 0.86 - chest_width / aspect
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            x, y = (px + 0.5) / width, (py + 0.5) / height
            colour = SKY if y < 0.86 else (DARK_STONE if (px + 2 * py) % 7 == 0 else GREEN)
            for mark in (folder(x, y, 1.0 / height), arrow(x, y, 1.0 / height)):
                if mark is not None:
                    colour = mark
            if y < 0.86 and y >= chest_top and 0.15 <= x <= 0.85:
                mark = archive((x - 0.15) / chest_width, (y - chest_top) * aspect / chest_width, 1.0 / (width * chest_width))
                if mark is not None:
                    colour = mark
            row.append(colour)
        rows.append(row)
    return rows


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    icons = {
        "archive.ico": archive,
        "added.ico": badge(GREEN, plus),
        "removed.ico": badge(RED, minus),
        "changed.ico": badge(ORANGE, changed),
        "current.ico": badge(BLUE, dot),
        "snapshot.ico": snapshot,
    }
    for name, draw in icons.items():
        (out / name).write_bytes(make_icon(draw))
    (out / "toolbar.bmp").write_bytes(make_toolbar())
    (out / "restore.bmp").write_bytes(bitmap_file(restore_picture(96, 176), PALETTE))


if __name__ == "__main__":
    main()
