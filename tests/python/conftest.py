"""What the raster_pcx tests share: PCX files built byte by byte here, so
that expected pixels never come from the code under test, and the demo's
pictures when the build says where they are."""
import os
import pathlib
import struct
import sys

import pytest

sys.dont_write_bytecode = True


def rle(line):
    """One plane line run-length coded, runs stopping at the line's end."""
    out, i = bytearray(), 0
    while i < len(line):
        run = 1
        while i + run < len(line) and run < 63 and line[i + run] == line[i]:
            run += 1
        if run > 1 or line[i] >= 0xC0:
            out += bytes((0xC0 | run, line[i]))
        else:
            out.append(line[i])
        i += run
    return bytes(out)


def pcx(width, height, bits, planes, lines, bpl, version=5, header16=b"", trailer=None, cut=None):
    """A PCX file from its raw plane lines (bpl * planes bytes a row)."""
    header = struct.pack("<BBBBHHHHHH", 10, version, 1, bits, 0, 0, width - 1, height - 1, 72, 72)
    header += header16.ljust(48, b"\0") + bytes((0, planes)) + struct.pack("<HH", bpl, 1)
    body = header.ljust(128, b"\0") + b"".join(rle(line) for line in lines)
    if cut is not None:
        body = body[:128 + cut]
    return body + (b"\x0c" + trailer if trailer is not None else b"")


def ramp_trailer():
    """256 colours, index i as (i, 255 - i, i // 2)."""
    return bytes(v for i in range(256) for v in (i, 255 - i, i // 2))


# 5 x 3, 8 bits, lines padded to 6 bytes, with the trailer; 0xC8 needs an
# escape byte.
SMALL_ROWS = [bytes((1, 2, 3, 4, 5, 0)), bytes((9,) * 6), bytes((0xC8, 7, 6, 5, 4, 0))]
SMALL_INDICES = [[1, 2, 3, 4, 5], [9, 9, 9, 9, 9], [0xC8, 7, 6, 5, 4]]


def small_picture(**changes):
    options = dict(trailer=ramp_trailer())
    options.update(changes)
    return pcx(5, 3, 8, 1, SMALL_ROWS, 6, **options)


def true_colour_picture(planes, width=7, height=4, cut=None):
    """width x height, 8-bit planes; plane p of pixel (x, y) is (40y + 10p + x) % 0xC0,
    each plane line padded to an even count with zeros."""
    bpl = width + (width & 1)
    lines = []
    for y in range(height):
        line = b""
        for p in range(planes):
            line += bytes((y * 40 + p * 10 + x) % 0xC0 for x in range(width)).ljust(bpl, b"\0")
        lines.append(line)
    return pcx(width, height, 8, planes, lines, bpl, cut=cut)


def true_colour_value(x, y, p):
    return (y * 40 + p * 10 + x) % 0xC0


@pytest.fixture(scope="session")
def pictures():
    """The demo's pictures folder (the build sets RASTER_PCX_PICTURES)."""
    folder = os.environ.get("RASTER_PCX_PICTURES")
    if not folder or not os.path.isfile(os.path.join(folder, "SKY.PCX")):
        pytest.skip("RASTER_PCX_PICTURES names no folder holding the demo's SKY.PCX")
    return pathlib.Path(folder)
