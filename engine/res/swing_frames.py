#!/usr/bin/env python3
"""Draws the four frames of the progress window's animation: a cairn of stones under a sky,
whose top stone rocks from one side to the other. Writes swing-0.bmp to swing-3.bmp (24-bit,
uncompressed) into the folder given, position 0 leaning left and 3 leaning right.

usage: swing_frames.py OUTPUT_DIR
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 64, 62  # fills the 43 x 39 dialog units of its place with the standard 8-point font
SUPERSAMPLE = 4                  # samples per pixel along each axis
TILTS = (-15.0, -5.0, 5.0, 15.0)  # degrees of the top stone, per position
HORIZON = 0.64 * HEIGHT
GROUND = 0.86 * HEIGHT           # where the bottom stone rests
LIGHT = (-0.45, -0.75, 0.55)     # from the upper left, towards the viewer


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def normalise(v):
    n = math.sqrt(sum(c * c for c in v))
    return tuple(c / n for c in v)


LIGHT = normalise(LIGHT)


class Stone:
    """A flat, rounded stone: a superellipse centred at (cx, cy), turned by angle degrees."""

    def __init__(self, cx, cy, half_width, half_height, colour, angle=0.0, seed=0):
        self.cx, self.cy = cx, cy
        self.a, self.b = half_width, half_height
        self.colour = colour
        self.cos, self.sin = math.cos(math.radians(angle)), math.sin(math.radians(angle))
        self.seed = seed

    def sample(self, x, y):
        """The stone's colour at (x, y), or None outside it."""
        dx, dy = x - self.cx, y - self.cy
        u = (dx * self.cos + dy * self.sin) / self.a
        v = (-dx * self.sin + dy * self.cos) / self.b
        f = abs(u) ** 2.6 + abs(v) ** 2.6
        if f > 1.0:
            return None
        # Distance to the edge in pixels, roughly: the outline is about one pixel wide.
        edge = (1.0 - f ** (1 / 2.6)) * min(self.a, self.b)
        # A domed surface lit from the upper left, with a grain of its own.
        z = math.sqrt(max(0.0, 1.0 - f))
        nu, nv = u * 0.8, v * 0.8
        normal = normalise((nu * self.cos - nv * self.sin, nu * self.sin + nv * self.cos, z + 0.2))
        lit = max(0.0, sum(n * l for n, l in zip(normal, LIGHT)))
        shade = 0.45 + 0.75 * lit + 0.25 * lit ** 12
        grain = ((int(x * 7.3 + self.seed) * 73856093) ^ (int(y * 7.3) * 19349663)) % 97 / 97.0 - 0.5
        colour = tuple(c * (shade + 0.06 * grain) for c in self.colour)
        if edge < 0.9:
            colour = mix(colour, tuple(c * 0.35 for c in self.colour), 1.0 - edge / 0.9)
        return colour


def cairn(position):
    """The stones of one frame, bottom first."""
    mid = WIDTH / 2.0
    stones = []
    y = GROUND
    for i, (w, h, colour) in enumerate(((0.31, 0.075, (150, 144, 136)),
                                        (0.25, 0.07, (128, 128, 132)),
                                        (0.18, 0.065, (160, 150, 134)))):
        half_w, half_h = w * WIDTH, h * HEIGHT
        stones.append(Stone(mid + (i - 1) * 0.6, y - half_h, half_w, half_h, colour, seed=i * 11))
        y -= 2 * half_h - 0.8
    # The top stone rocks on the middle of the one below it.
    half_w, half_h = 0.13 * WIDTH, 0.06 * HEIGHT
    angle = TILTS[position]
    t = math.radians(angle)
    cx, cy = mid + half_h * math.sin(t), y - half_h * math.cos(t) + 0.4
    stones.append(Stone(cx, cy, half_w, half_h, (176, 156, 128), angle, seed=37))
    return stones


def background(x, y):
    if y < HORIZON:
        sky = mix((118, 170, 222), (214, 232, 244), (y / HORIZON) ** 1.3)
        # Low hills along the horizon.
        hill = HORIZON - 4.5 - 3.0 * math.sin(x / WIDTH * 5.0 + 0.7) - 1.5 * math.sin(x / WIDTH * 11.0)
        return mix((140, 170, 138), (160, 186, 150), (y - hill) / 6.0) if y > hill else sky
    ground = mix((128, 168, 94), (92, 130, 70), (y - HORIZON) / (HEIGHT - HORIZON))
    # The cairn's shadow, cast to the lower right.
    sx, sy = (x - WIDTH * 0.56) / (WIDTH * 0.36), (y - GROUND - 0.5) / (HEIGHT * 0.05)
    d = sx * sx + sy * sy
    return mix(ground, (62, 92, 52), 0.55 * (1.0 - d)) if d < 1.0 else ground


def frame(position):
    stones = cairn(position)
    pixels = []
    for py in range(HEIGHT):
        row = []
        for px in range(WIDTH):
            total = [0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = px + (sx + 0.5) / SUPERSAMPLE
                    y = py + (sy + 0.5) / SUPERSAMPLE
                    colour = background(x, y)
                    for stone in stones:
                        colour = stone.sample(x, y) or colour
                    for i in range(3):
                        total[i] += colour[i]
            row.append(tuple(min(255, max(0, int(round(c / SUPERSAMPLE ** 2)))) for c in total))
        pixels.append(row)
    sunken_edge(pixels)
    return pixels


def sunken_edge(pixels):
    """A two-pixel sunken border, as the system draws around a picture."""
    for i, (dark, light) in enumerate((((128, 128, 128), (255, 255, 255)), ((64, 64, 64), (212, 208, 200)))):
        for x in range(i, WIDTH - i):
            pixels[i][x] = dark
            pixels[HEIGHT - 1 - i][x] = light
        for y in range(i, HEIGHT - i):
            pixels[y][i] = dark
            pixels[y][WIDTH - 1 - i] = light
        pixels[HEIGHT - 1 - i][i] = dark


def write_bmp(path, pixels):
    stride = (WIDTH * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, 'wb') as out:
        out.write(header + info + data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    os.makedirs(sys.argv[1], exist_ok=True)
    for position in range(4):
        write_bmp(os.path.join(sys.argv[1], 'swing-%d.bmp' % position), frame(position))


if __name__ == '__main__':
    main()
