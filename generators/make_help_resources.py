#!/usr/bin/env python3
"""Draws the help window's resources: the icon (16x16 and 32x32, 16 colours)
and the banner (285x50, 16 colours, uncompressed), as .ico and .bmp files.

usage: generators/make_help_resources.py OUTPUT_FOLDER
The motif is a small volume chart: three bars under a price line.
"""
import os
import struct
import sys

# The 16-colour palette (the standard VGA order), as (r, g, b).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, GREEN, RED, GREY, WHITE = 0, 4, 2, 9, 8, 15

FONT = {  # 5 x 7 capitals and a blank
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    " ": ["00000"] * 7,
}


def canvas(w, h, colour):
    return [[colour] * w for _ in range(h)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(max(y0, 0), min(y1, len(img))):
        for x in range(max(x0, 0), min(x1, len(img[0]))):
            img[y][x] = colour


def text(img, x, y, s, colour, scale=1):
    for ch in s:
        for row, bits in enumerate(FONT[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    rect(img, x + col * scale, y + row * scale,
                         x + (col + 1) * scale, y + (row + 1) * scale, colour)
        x += 6 * scale


def chart(img, x, y, w, h):
    """Three volume bars and a rising price step line inside (x, y, w, h)."""
    bar = max(w // 5, 1)
    for i, (height, colour) in enumerate([(0.45, GREEN), (0.8, RED), (0.6, GREEN)]):
        left = x + bar // 2 + i * (bar + bar // 2)
        rect(img, left, y + h - int(h * height), left + bar, y + h, colour)
    for i in range(w):
        py = y + int(h * 0.35) - (i * h) // (3 * w)
        rect(img, x + i, py, x + i + 1, py + max(h // 16, 1), NAVY)


def pixels_4bpp(img):
    """Bottom-up rows, two pixels a byte, rows padded to 4 bytes."""
    out = b""
    for row in reversed(img):
        data = bytes((row[i] << 4) | (row[i + 1] if i + 1 < len(row) else 0)
                     for i in range(0, len(row), 2))
        out += data + b"\0" * (-len(data) % 4)
    return out


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def info_header(w, h, size_image):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, size_image, 2835, 2835, 16, 0)


def icon_image(size):
    img = canvas(size, size, WHITE)
    rect(img, 0, 0, size, size, WHITE)
    chart(img, 1, 1, size - 2, size - 2)
    xor = pixels_4bpp(img)
    and_row = (size + 31) // 32 * 4
    mask = b"\0" * (and_row * size)  # every pixel opaque
    return info_header(size, size * 2, len(xor) + len(mask)) + palette_bytes() + xor + mask


def write_icon(path):
    images = [icon_image(16), icon_image(32)]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip((16, 32), images):
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(header + entries + b"".join(images))


def write_banner(path):
    img = canvas(285, 50, WHITE)
    chart(img, 8, 6, 38, 38)
    text(img, 56, 8, "BARSIGHT", NAVY, 2)
    text(img, 56, 30, "VSA INDICATOR HELP", GREY, 1)
    rect(img, 0, 48, 285, 50, NAVY)
    pixels = pixels_4bpp(img)
    info = info_header(285, 50, len(pixels)) + palette_bytes()
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(file_header + info + pixels)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, "barsight.ico"))
    write_banner(os.path.join(out, "banner.bmp"))


if __name__ == "__main__":
    main()
