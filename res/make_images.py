#!/usr/bin/env python3
"""Writes the player's button glyphs and its icon from their pixel descriptions.

    make_images.py OUTPUT_DIR

Glyphs: 24-bit bitmaps, pure black on pure white; the button treats the colour of the
bottom-left pixel (white) as transparent. Rows and columns count from 0 at the top left.
"""
import struct
import sys
from pathlib import Path


def spans(width, height, rows):
    """A glyph as a set of black (column, row) pixels from {row: [(first, last), ...]}."""
    black = set()
    for row, ranges in rows.items():
        for first, last in ranges:
            black.update((column, row) for column in range(first, last + 1))
    return width, height, black


def open_folder():
    # An open folder: a black outline with a solid front flap.
    return spans(19, 16, {
        3: [(4, 7)],
        4: [(3, 8)],
        5: [(3, 15)],
        6: [(3, 3), (15, 16)],
        7: [(2, 12), (16, 16)],
        8: [(2, 13), (16, 16)],
        9: [(2, 14), (16, 16)],
        10: [(3, 14), (16, 16)],
        11: [(3, 16)],
        12: [(4, 15)],
    })


def play():
    # A triangle pointing right, left edge at column 6: 2 pixels wide in row 6, 2 wider each
    # row up to 16 in rows 13 and 14, then 2 narrower each row down to 2 in row 21.
    rows = {}
    for row in range(6, 22):
        width = 2 * (row - 5) if row <= 13 else 2 * (22 - row)
        rows[row] = [(6, 6 + width - 1)]
    return spans(28, 28, rows)


def pause():
    return spans(28, 28, {row: [(6, 11), (16, 21)] for row in range(6, 22)})


def stop():
    return spans(28, 28, {row: [(6, 21)] for row in range(6, 22)})


def bmp(width, height, black):
    """A bottom-up BI_RGB 24-bit Windows bitmap."""
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(range(height)):
        line = bytearray()
        for column in range(width):
            line += b"\x00\x00\x00" if (column, row) in black else b"\xff\xff\xff"
        pixels += line + bytes(stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def icon_image(size):
    """One 32-bit icon image: a white play triangle on a dark blue rounded tile."""
    xor = bytearray()
    for row in reversed(range(size)):
        for column in range(size):
            x, y = (column + 0.5) / size, (row + 0.5) / size
            corner = 0.18
            dx, dy = max(corner - x, x - (1 - corner), 0), max(corner - y, y - (1 - corner), 0)
            inside = dx * dx + dy * dy <= corner * corner
            triangle = 0.34 <= x <= 0.74 and abs(y - 0.5) <= (0.74 - x) * 0.62
            if not inside:
                xor += b"\x00\x00\x00\x00"
            elif triangle:
                xor += b"\xff\xff\xff\xff"
            else:
                xor += bytes((0x8a, 0x3c, 0x1e, 0xff))  # BGRA
    and_stride = ((size + 31) // 32) * 4
    mask = bytes(and_stride * size)  # alpha carries transparency
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico(sizes):
    images = [icon_image(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, glyph in (("open", open_folder), ("play", play), ("pause", pause), ("stop", stop)):
        (out / f"{name}.bmp").write_bytes(bmp(*glyph()))
    (out / "KUZ_Player.ico").write_bytes(ico([16, 32, 48]))


if __name__ == "__main__":
    main()
