#!/usr/bin/env python3
"""Draws the Explorer extension's pictures: the archive icon (203), the overlays of added (501),
removed (503), changed (504) and current (505) items, the snapshot icon (507), each at 32x32 and
16x16, the toolbar bitmap (552): 16x16 images of the snapshot button and of the Views button, and
the picture of the restore dialog (553): a folder taking back what rises from an archive, and the
welcome wizard's four pictures (152, 145, 147, 149), one for each step of using an archive.

usage: make_art.py OUTPUT_DIR   (writes archive.ico, added.ico, removed.ico, changed.ico,
                                 current.ico, snapshot.ico, toolbar.bmp, restore.bmp and
                                 wizard-create.bmp, wizard-fill.bmp, wizard-browse.bmp,
                                 wizard-snapshot.bmp there)

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


# The wizard's pictures: 120x224 pixels, a scene one unit wide and 224/120 units high.
WIZARD_SIZE = (120, 224)


def placed(draw, left, top, width, height):
    """A unit-box drawing moved into the scene's box (left, top, width, height)."""
    def scene(x, y, pixel):
        if not (left <= x <= left + width and top <= y <= top + height):
            return None
        return draw((x - left) / width, (y - top) / height, pixel / min(width, height))
    return scene


def paper(x, y, pixel):
    """A blank sheet with lines of writing."""
    if not (0.1 <= x <= 0.9 and 0.05 <= y <= 0.95):
        return None
    if x < 0.1 + pixel or x > 0.9 - pixel or y < 0.05 + pixel or y > 0.95 - pixel:
        return OUTLINE
    for line in (0.25, 0.4, 0.55, 0.7):
        if abs(y - line) < pixel * 0.8 and 0.22 <= x <= (0.62 if line == 0.7 else 0.78):
            return BLUE
    return PAPER


def arrow_down(x, y, pixel):
    """A thick arrow pointing down."""
    if 0.35 <= x <= 0.65 and 0.0 <= y <= 0.55:
        return BLUE
    if 0.55 <= y <= 1.0 and abs(x - 0.5) <= (1.0 - y) * 1.0:
        return BLUE
    return None


def magnifier(x, y, pixel):
    """A magnifying glass: a ring over the lens, and a handle to the lower right."""
    if ellipse(x, y, 0.4, 0.4, 0.32, 0.32):
        if not ellipse(x, y, 0.4, 0.4, 0.24, 0.24):
            return OUTLINE
        return WHITE if ellipse(x, y, 0.32, 0.32, 0.08, 0.08) else None
    if 0.58 <= x <= 0.95 and abs((y - 0.58) - (x - 0.58)) < 0.09:
        return DARK_WOOD
    return None


def new_mark(x, y, pixel):
    """A green plus in a white ring: something new."""
    if not ellipse(x, y, 0.5, 0.5, 0.48, 0.48):
        return None
    if not ellipse(x, y, 0.5, 0.5, 0.48 - pixel, 0.48 - pixel):
        return OUTLINE
    return GREEN if plus((x - 0.5) / 0.48, (y - 0.5) / 0.48, pixel / 0.48) else WHITE


def landscape(parts):
    """Sky over grass, with the parts drawn in front, the later ones over the earlier."""
    horizon = 1.62

    def scene(x, y, pixel):
        for part in reversed(parts):
            colour = part(x, y, pixel)
            if colour is not None:
                return colour
        if y >= horizon:
            return DARK_STONE if y < horizon + pixel else GREEN
        return SKY
    return scene


WIZARD_PICTURES = {
    # Step 1: a new archive.
    "wizard-create.bmp": [placed(archive, 0.08, 0.72, 0.84, 0.84), placed(new_mark, 0.6, 0.5, 0.34, 0.34)],
    # Step 2: work goes into the archive.
    "wizard-fill.bmp": [placed(archive, 0.08, 0.86, 0.84, 0.84), placed(paper, 0.06, 0.06, 0.42, 0.5),
                        placed(paper, 0.46, 0.16, 0.42, 0.5), placed(arrow_down, 0.3, 0.58, 0.4, 0.4)],
    # Step 3: browsing the first snapshot.
    "wizard-browse.bmp": [placed(snapshot, 0.02, 0.3, 0.9, 1.1), placed(magnifier, 0.42, 0.95, 0.56, 0.56)],
    # Step 4: a new snapshot over the first.
    "wizard-snapshot.bmp": [placed(snapshot, 0.0, 0.5, 0.7, 0.86), placed(snapshot, 0.26, 0.7, 0.7, 0.86),
                            placed(new_mark, 0.6, 0.22, 0.34, 0.34)],
}


def make_wizard_picture(parts):
    width, height = WIZARD_SIZE
    draw = landscape(parts)
    pixel = 1.0 / width
    rows = [[draw((px + 0.5) * pixel, (py + 0.5) * pixel, pixel) for px in range(width)] for py in range(height)]
    return bitmap_file(rows, PALETTE)


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
    for name, parts in WIZARD_PICTURES.items():
        (out / name).write_bytes(make_wizard_picture(parts))
    (out / "restore.bmp").write_bytes(bitmap_file(restore_picture(96, 176), PALETTE))


if __name__ == "__main__":
    main()
