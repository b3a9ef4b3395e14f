"""Pictures for the browser tests: the browser's PNG screenshots, the CD's 8-bit BMP, movie
records and movtool's 16-bit screens, all as rows of (r, g, b) bytes to compare exactly."""
import struct
import zlib

RECORD_BYTES = 43797
SOUND_AT = 40269
SOUND_BYTES = 3528


def png_rgb(data):
    """(width, height, bytes of RGB rows) of an 8-bit, non-interlaced RGB or RGBA PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    at, idat, width = 8, b"", 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError("unexpected PNG layout")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    out = bytearray()
    previous = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            up_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - up_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - up_left)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc
                                      else up_left)) & 255
        previous = line
        if channels == 3:
            out += line
        else:
            for x in range(width):
                out += line[x * 4:x * 4 + 3]
    return width, height, bytes(out)


def crop(width, rgb, x, y, w, h):
    return b"".join(rgb[((y + row) * width + x) * 3:((y + row) * width + x + w) * 3]
                    for row in range(h))


def bmp_rgb(data):
    """(width, height, RGB rows top to bottom) of an uncompressed 8-bit bottom-up BMP."""
    offset, = struct.unpack("<I", data[10:14])
    width, height = struct.unpack("<ii", data[18:26])
    bits, = struct.unpack("<H", data[28:30])
    used, = struct.unpack("<I", data[46:50])
    if bits != 8 or height <= 0:
        raise ValueError("not an 8-bit bottom-up BMP")
    colours = used or 256
    palette = data[54:54 + 4 * colours]
    stride = (width + 3) & ~3
    out = bytearray()
    for row in range(height):
        line = data[offset + (height - 1 - row) * stride:][:width]
        for index in line:
            b, g, r = palette[4 * index:4 * index + 3]
            out += bytes((r, g, b))
    return width, height, bytes(out)


def widen(value, bits):
    return (value << (8 - bits) | value >> (2 * bits - 8)) & 255


def screen_rgb(raw, rgb555=False):
    """movtool screen's 16-bit little-endian pixels as RGB, each channel widened to 8 bits."""
    out = bytearray()
    for i in range(0, len(raw), 2):
        p = raw[i] | raw[i + 1] << 8
        if rgb555:
            out += bytes((widen(p >> 10 & 31, 5), widen(p >> 5 & 31, 5), widen(p & 31, 5)))
        else:
            out += bytes((widen(p >> 11 & 31, 5), widen(p >> 5 & 63, 6), widen(p & 31, 5)))
    return bytes(out)


def movie_sound(movie, first, count):
    """The sound of `count` records from `first` on, back to back, as the file holds it."""
    return b"".join(movie[r * RECORD_BYTES + SOUND_AT:r * RECORD_BYTES + SOUND_AT + SOUND_BYTES]
                    for r in range(first, first + count))
