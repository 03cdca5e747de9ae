"""Writers for the two image files the OSD uses: a 4-bit grey BMP (the
bitmap resources) and an RGBA PNG (the skins). Standard library only."""

import struct
import zlib


def write_grey_bmp(path, rows):
    """rows: top row first, each a list of grey levels 0-15. The file is
    bottom-up, uncompressed, 4 bits per pixel, palette entry i = 17 * i."""
    height, width = len(rows), len(rows[0])
    stride = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, level in enumerate(row):
            line[x // 2] |= level << (4 if x % 2 == 0 else 0)
        pixels += line
    palette = b"".join(bytes((17 * i, 17 * i, 17 * i, 0)) for i in range(16))
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    with open(path, "wb") as out:
        out.write(header + info + palette + bytes(pixels))


def write_rgba_png(path, rows):
    """rows: top row first, each a list of (r, g, b, a) with straight alpha."""
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))
