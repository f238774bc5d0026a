"""Pillow with the plugin registered: what Pillow users expect of Image.open
and save for PCX still holds (modes, sizes, round trips of the modes the
saver takes, odd widths, zero size refused), and the pictures Pillow itself
misreads come out right, damage named."""
import io
import warnings

import numpy
import pytest
from PIL import Image, UnidentifiedImageError

import raster_pcx
import raster_pcx.pillow
from conftest import pcx, small_picture, true_colour_picture

RNG = numpy.random.default_rng(523)


def sample(mode, size):
    """A picture of `mode` with varied pixels, and for "P" a palette of 256 colours."""
    width, height = size
    if mode == "1":
        return Image.fromarray(RNG.integers(0, 2, (height, width), dtype=numpy.uint8) * 255, "L").convert("1")
    if mode == "RGB":
        return Image.fromarray(RNG.integers(0, 256, (height, width, 3), dtype=numpy.uint8), "RGB")
    image = Image.fromarray(RNG.integers(0, 256, (height, width), dtype=numpy.uint8), "L")
    if mode == "P":
        image = image.convert("P")
        image.putpalette(RNG.integers(0, 256, 768, dtype=numpy.uint8).tobytes())
    return image


def round_trip(tmp_path, image):
    path = tmp_path / "temp.pcx"
    image.save(path)
    with Image.open(path) as reloaded:
        reloaded.load()
        assert reloaded.format == "PCX"
        assert reloaded.mode == image.mode and reloaded.size == image.size
        assert reloaded.tobytes() == image.tobytes()
        if image.mode == "P":
            colours = image.getpalette()
            assert reloaded.getpalette()[:len(colours)] == colours
    return path


@pytest.mark.parametrize("mode", ["1", "L", "P", "RGB"])
def test_round_trips_of_the_modes_the_saver_takes(tmp_path, mode):
    # Even and odd widths: lines are padded to an even count, and a large
    # odd size makes runs meet the padding.
    for size in ((128, 64), (511, 511), (3, 5), (1, 1)):
        round_trip(tmp_path, sample(mode, size))


def test_narrow_and_long_run_pictures(tmp_path):
    column = Image.new("L", (1, 256))
    column.putdata(list(range(256)))
    round_trip(tmp_path, column)
    runs = Image.new("L", (256, 1))
    runs.putdata([x // 67 * 67 for x in range(256)])
    round_trip(tmp_path, runs)


def test_a_palette_shorter_than_256_colours(tmp_path):
    image = Image.new("P", (1, 1))
    image.putpalette((255, 0, 0))
    path = round_trip(tmp_path, image)
    with Image.open(path) as reloaded:
        assert reloaded.convert("RGB").getpixel((0, 0)) == (255, 0, 0)


def test_the_saver_refuses_other_modes_and_zero_sizes(tmp_path):
    with pytest.raises(ValueError, match="RGBA"):
        sample("RGB", (4, 4)).convert("RGBA").save(tmp_path / "rgba.pcx")
    for mode in ("1", "L", "P", "RGB"):
        for size in ((0, 0), (0, 5), (5, 0)):
            with pytest.raises(ValueError, match="at least 1 x 1"):
                Image.new(mode, size).save(io.BytesIO(), "PCX")


def test_what_is_no_pcx_picture(tmp_path):
    png = tmp_path / "picture.png"
    sample("RGB", (4, 4)).save(png)
    with pytest.raises(SyntaxError):
        raster_pcx.pillow.PcxImageFile(str(png))
    with pytest.raises(UnidentifiedImageError):
        Image.open(io.BytesIO(b"\x0a" + b"not really a PCX picture" * 10))


def test_the_plugin_stays_registered_after_pillow_loads_its_plugins():
    Image.init()
    assert Image.OPEN["PCX"][0] is raster_pcx.pillow.PcxImageFile
    assert Image.SAVE["PCX"] is raster_pcx.pillow._save
    assert Image.OPEN["DCX"][0] is raster_pcx.pillow.DcxImageFile


def test_sixteen_colour_planar_pictures_read_with_their_own_indices():
    # 20 x 2, 1 bit x 4 planes of 4 bytes a line (3 used, 1 of padding):
    # index bit p of each pixel is in plane p, most significant bit first.
    indices = numpy.array([[i % 16 for i in range(20)], [15 - i % 16 for i in range(20)]], dtype=numpy.uint8)
    lines = []
    for row in indices:
        planes = b""
        for p in range(4):
            bits = "".join(str((int(i) >> p) & 1) for i in row).ljust(32, "0")
            planes += int(bits, 2).to_bytes(4, "big")
        lines.append(planes)
    header16 = bytes(v for i in range(16) for v in (i * 16, 255 - i * 16, i * 8))
    with Image.open(io.BytesIO(pcx(20, 2, 1, 4, lines, 4, header16=header16))) as image:
        assert image.mode == "P" and image.size == (20, 2)
        assert numpy.array_equal(numpy.asarray(image), indices)
        assert image.getpalette()[:48] == list(header16)


def test_modes_of_what_is_read():
    with Image.open(io.BytesIO(true_colour_picture(4))) as image:
        assert image.mode == "RGBA" and image.getpixel((2, 1)) == (42, 52, 62, 72)
    with Image.open(io.BytesIO(true_colour_picture(3, width=3))) as image:
        assert image.mode == "RGB" and image.getpixel((2, 3)) == (122, 132, 142)
    with Image.open(io.BytesIO(small_picture())) as image:
        assert image.mode == "P" and image.getpixel((0, 2)) == 0xC8
        assert image.convert("RGB").getpixel((0, 2)) == (0xC8, 255 - 0xC8, 0xC8 // 2)


def test_damage_is_named_in_info_and_warned():
    with pytest.warns(raster_pcx.DamageWarning):
        image = Image.open(io.BytesIO(true_colour_picture(3, cut=24 * 2 + 10)))
    assert image.info["pcx_damage"] == raster_pcx._codec.damage_text(1)
    assert image.info["pcx_rows_decoded"] == 2
    assert image.getpixel((1, 1)) == (41, 51, 61) and image.getpixel((1, 3)) == (0, 0, 0)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with Image.open(io.BytesIO(small_picture())) as whole:
            assert "pcx_damage" not in whole.info
