#!/usr/bin/env python3
"""Draws the finder's logo (160 x 184) and icons as PNG files, with the standard library
only: an instrument with a waveform on its screen, under the arcs of a discovery call.
Run it again after changing the drawing; the PNG files are committed."""
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


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    write_png(folder / "logo.png", WIDTH, HEIGHT, render(WIDTH, HEIGHT, WHITE))
    for size in (16, 24, 32, 48, 64, 256):
        write_png(folder / f"icon-{size}.png", size, size, render(size, size, None))


if __name__ == "__main__":
    main()
