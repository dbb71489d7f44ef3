#!/usr/bin/env python3
"""Draws the launcher's icon (an envelope on a round badge) and the numbered test icons used by the
tray animation tests, as .ico files of 32-bit images with alpha. The launcher's icon has an image for the
small-icon size of each common display scale (16, 20, 24, 32, 40 and 48 pixels), every one stored
PNG-compressed (read by Windows Vista and later), which keeps the program small. The test icons have 16,
32 and 48 pixel images, the 16 pixel one a plain bitmap.

Run from the repository root: python3 packaging/make_icons.py. The outputs are committed."""
import math
import struct
import zlib



def png(size, rows):
    """A PNG of 8-bit RGBA rows, top row first."""
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b''.join(b'\0' + bytes(c for pixel in row for c in pixel) for row in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def ico(images, png_from):
    """images: list of (size, rows) with rows of (r, g, b, a) tuples, top row first; images of png_from
    pixels and larger are stored as PNG."""
    header = struct.pack('<HHH', 0, 1, len(images))
    entries, blobs = b'', b''
    offset = 6 + 16 * len(images)
    for size, rows in images:
        if size >= png_from:
            bmp = png(size, rows)
        else:
            xor = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
            mask_row = ((size + 31) // 32) * 4
            mask = bytes(mask_row * size)
            bmp = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0) + xor + mask
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(bmp), offset)
        blobs += bmp
        offset += len(bmp)
    return header + entries + blobs


def draw(size, pixel):
    return [[pixel(x + 0.5, y + 0.5, size) for x in range(size)] for y in range(size)]


def envelope(x, y, s):
    cx = cy = s / 2
    r = s * 0.48
    if math.hypot(x - cx, y - cy) > r:
        return (0, 0, 0, 0)
    badge = (32, 96, 176, 255)
    left, right, top, bottom = s * 0.2, s * 0.8, s * 0.3, s * 0.7
    if left <= x <= right and top <= y <= bottom:
        # The flap: two lines from the top corners to the centre.
        u = (x - left) / (right - left)
        flap_y = top + (bottom - top) * 0.55 * (1 - abs(2 * u - 1))
        if abs(y - flap_y) < max(1.0, s / 24) or x - left < 1 or right - x < 1 or y - top < 1 or bottom - y < 1:
            return (40, 40, 60, 255)
        return (250, 246, 230, 255)
    return badge


def numbered(colour):
    def pixel(x, y, s):
        return colour + (255,) if abs(x - s / 2) < s * 0.4 and abs(y - s / 2) < s * 0.4 else (0, 0, 0, 0)
    return pixel


def write(path, pixel, sizes, png_from):
    with open(path, 'wb') as f:
        f.write(ico([(n, draw(n, pixel)) for n in sizes], png_from))


write('app/MainIcon.ico', envelope, (16, 20, 24, 32, 40, 48), 16)
for index, colour in enumerate([(200, 40, 40), (40, 160, 40), (40, 40, 200)]):
    write('tests/TestIcon%d.ico' % (index + 1), numbered(colour), (16, 32, 48), 32)
