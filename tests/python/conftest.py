"""What the raster_pcx tests share: PCX files built byte by byte here, so
that expected pixels never come from the code under test, and the demo's
pictures when the build says where they are."""
import os
import pathlib
import sys

import pytest

sys.dont_write_bytecode = True
# The PCX files are built by the helpers the tools' tests use too.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from pcx_bytes import pcx, ramp_trailer  # noqa: E402  (after the path it needs)

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
