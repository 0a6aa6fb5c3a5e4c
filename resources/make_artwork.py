#!/usr/bin/env python3
"""Draws the finder's logo (160 x 184) and icons as PNG files, with the standard library
only: an instrument with a waveform on its screen, under the arcs of a discovery call.
It also writes the logo as an 8-bit BMP and the icons as one Windows icon (main.ico) for
the Windows build. Run it again after changing the drawing; the outputs are committed."""
import math
import struct
import sys
import zlib
from pathlib import Path

WIDTH, HEIGHT = 160, 184  # the design's own coordinates
WHITE = (255, 255, 255)
BODY = (31, 78, 121)
SCREEN = (232, 241, 250)
WAVE = (31, 110, 190)
CALL = (224, 123, 0)
KNOB = (200, 208, 216)
BLACK = (0, 0, 0)
DESIGN = (BODY, SCREEN, WAVE, CALL, KNOB)


def rounded_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom


def colour_at(x, y):
    """The colour of the design at (x, y), or None for the background."""
    # The discovery call: a dot and three arcs opening upwards.
    dx, dy = x - 80, y - 60
    distance = math.hypot(dx, dy)
    if distance <= 6:
        return CALL
    if dy < 0 and abs(dx) <= -dy * 1.2:
        for radius in (20, 34, 48):
            if abs(distance - radius) <= 3.5:
                return CALL
    if rounded_rect(x, y, 20, 74, 140, 172, 12):
        if 32 <= x <= 128 and 86 <= y <= 134:
            wave = 110 + 14 * math.sin((x - 32) / 96 * 4 * math.pi)
            if abs(y - wave) <= 2.5:
                return WAVE
            return SCREEN
        for knob in (52, 108):
            if math.hypot(x - knob, y - 154) <= 8:
                return KNOB
        return BODY
    return None


def render(size_x, size_y, background):
    """The design scaled into size_x x size_y, centred, 4 x 4 samples per pixel."""
    scale = min(size_x / WIDTH, size_y / HEIGHT)
    offset_x = (size_x - WIDTH * scale) / 2
    offset_y = (size_y - HEIGHT * scale) / 2
    rows = []
    for py in range(size_y):
        row = bytearray()
        for px in range(size_x):
            total = [0, 0, 0, 0]
            for sy in range(4):
                for sx in range(4):
                    x = (px + (sx + 0.5) / 4 - offset_x) / scale
                    y = (py + (sy + 0.5) / 4 - offset_y) / scale
                    colour = colour_at(x, y)
                    if colour is None:
                        colour = background[:3] if background else (0, 0, 0)
                        alpha = 255 if background else 0
                    else:
                        alpha = 255
                    for i in range(3):
                        total[i] += colour[i] * alpha
                    total[3] += alpha
            alpha = total[3] / 16
            rgb = [round(total[i] / total[3]) if total[3] else 0 for i in range(3)]
            row += bytes(rgb + [round(alpha)])
        rows.append(bytes(row))
    return rows


def write_png(path, size_x, size_y, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size_x, size_y, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    Path(path).write_bytes(png)


def blends(colours, steps):
    """The colours and, between each pair of them, steps - 1 evenly spaced mixtures: the
    anti-aliased edges of the drawing are such mixtures."""
    palette = list(colours)
    for i, a in enumerate(colours):
        for b in colours[i + 1:]:
            for k in range(1, steps):
                palette.append(tuple(round(a[c] + (b[c] - a[c]) * k / steps) for c in range(3)))
    return palette


def quantise(rows, palette):
    """Palette indices of the RGBA rows, by nearest colour; transparent pixels get 0."""
    nearest = {}
    indices = []
    for row in rows:
        line = []
        for i in range(0, len(row), 4):
            rgb = tuple(row[i:i + 3])
            if row[i + 3] < 128:
                line.append(0)
                continue
            if rgb not in nearest:
                nearest[rgb] = min(range(len(palette)), key=lambda n: sum(
                    (palette[n][c] - rgb[c]) ** 2 for c in range(3)))
            line.append(nearest[rgb])
        indices.append(line)
    return indices


def pack_row(values, bits):
    """One bitmap row: values of 1, 4 or 8 bits, most significant first, padded to 4 bytes."""
    per_byte = 8 // bits
    data = bytearray()
    for i in range(0, len(values), per_byte):
        byte = 0
        for j, value in enumerate(values[i:i + per_byte]):
            byte |= value << (8 - bits * (j + 1))
        data.append(byte)
    return bytes(data + bytes(-len(data) % 4))


def dib(indices, palette, bits, mask=None):
    """A device-independent bitmap: header, colour table and bottom-up rows; with a mask
    (1 = transparent) it is an icon image, whose header counts both bitmaps' rows."""
    width, height = len(indices[0]), len(indices)
    pixels = b"".join(pack_row(row, bits) for row in reversed(indices))
    if mask:
        pixels += b"".join(pack_row(row, 1) for row in reversed(mask))
    header = struct.pack("<IiiHHIIiiII", 40, width, height * (2 if mask else 1), 1, bits, 0,
                         len(pixels), 2835, 2835, 0, 0)
    colours = palette + [BLACK] * ((1 << bits) - len(palette))
    return header + b"".join(bytes((b, g, r, 0)) for r, g, b in colours) + pixels


def write_bmp(path, rows):
    palette = blends((WHITE,) + DESIGN, 16)
    image = dib(quantise(rows, palette), palette, 8)
    offset = 14 + 40 + 256 * 4
    Path(path).write_bytes(b"BM" + struct.pack("<IHHI", 14 + len(image), 0, 0, offset) + image)


def write_ico(path, icons):
    """icons: (size, bits, rows); 4-bit images get the design's colours and their halfway
    mixtures, 8-bit ones finer mixtures. Palette index 0 is black, under the AND mask."""
    entries, images = b"", b""
    offset = 6 + 16 * len(icons)
    for size, bits, rows in icons:
        palette = [BLACK] + blends(DESIGN, 2 if bits == 4 else 24)
        mask = [[int(row[i + 3] < 128) for i in range(0, len(row), 4)] for row in rows]
        image = dib(quantise(rows, palette), palette, bits, mask)
        entries += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits,
                               len(image), offset + len(images))
        images += image
    Path(path).write_bytes(struct.pack("<HHH", 0, 1, len(icons)) + entries + images)


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    logo = render(WIDTH, HEIGHT, WHITE)
    write_png(folder / "logo.png", WIDTH, HEIGHT, logo)
    write_bmp(folder / "logo.bmp", logo)
    icons = {}
    for size in (16, 24, 32, 48, 64, 256):
        icons[size] = render(size, size, None)
        write_png(folder / f"icon-{size}.png", size, size, icons[size])
    write_ico(folder / "main.ico", [(size, 4 if size < 32 else 8, icons[size])
                                    for size in (16, 24, 32, 48, 64)])


if __name__ == "__main__":
    main()
