"""Formats, out= filled in place or refused, damage as a warning or a strict
error, and encode/write round trips with any strides."""
import os
import warnings

import numpy
import pytest

import raster_pcx
from conftest import SMALL_INDICES, pcx, ramp_trailer, small_picture, true_colour_picture, true_colour_value

SENTINEL = 0xA5


def expected_true_colour(planes, width=7, height=4):
    out = numpy.empty((height, width, planes), dtype=numpy.uint8)
    for y in range(height):
        for x in range(width):
            out[y, x] = [true_colour_value(x, y, p) for p in range(planes)]
    return out


def test_formats_of_an_indexed_picture():
    data = small_picture()
    indices = numpy.array(SMALL_INDICES, dtype=numpy.uint8)
    ramp = numpy.frombuffer(ramp_trailer(), dtype=numpy.uint8).reshape(256, 3)
    assert numpy.array_equal(raster_pcx.decode(data, "indices"), indices)
    assert numpy.array_equal(raster_pcx.decode(data, "rgb"), ramp[indices])
    rgba = raster_pcx.decode(data, "rgba")
    assert numpy.array_equal(rgba[..., :3], ramp[indices]) and (rgba[..., 3] == 255).all()


def test_formats_of_true_colour_pictures():
    three, four = true_colour_picture(3), true_colour_picture(4)
    assert numpy.array_equal(raster_pcx.decode(three), expected_true_colour(3))
    assert numpy.array_equal(raster_pcx.decode(four), expected_true_colour(4))
    rgba = raster_pcx.decode(three, "rgba")
    assert numpy.array_equal(rgba[..., :3], expected_true_colour(3)) and (rgba[..., 3] == 255).all()
    assert numpy.array_equal(raster_pcx.decode(four, "rgb"), expected_true_colour(4)[..., :3])
    assert raster_pcx.read(three).palette is None
    with pytest.raises(ValueError, match="true colour"):
        raster_pcx.decode(three, "indices")
    with pytest.raises(ValueError, match="'rgba'"):
        raster_pcx.decode(three, "bgr")


def test_out_is_filled_in_place_and_only_its_own_bytes():
    # The picture's rows inside a larger block: the bytes around them keep
    # the sentinel.
    block = numpy.full(7 * 4 * 3 + 16, SENTINEL, dtype=numpy.uint8)
    out = block[8:-8].reshape(4, 7, 3)
    returned = raster_pcx.decode(true_colour_picture(3), out=out)
    assert returned is out
    assert numpy.array_equal(out, expected_true_colour(3))
    assert (block[:8] == SENTINEL).all() and (block[-8:] == SENTINEL).all()
    picture = raster_pcx.read(small_picture(), "indices", out=numpy.zeros((3, 5), numpy.uint8))
    assert numpy.array_equal(picture.pixels, SMALL_INDICES)


def test_out_of_the_wrong_kind_is_refused_untouched():
    data = true_colour_picture(3)
    wrong = {
        "shape": numpy.full((4, 7, 4), SENTINEL, numpy.uint8),
        "dtype": numpy.full((4, 7, 3), SENTINEL, numpy.uint16),
        "strides": numpy.full((4, 14, 3), SENTINEL, numpy.uint8)[:, ::2],
        "Fortran order": numpy.asfortranarray(numpy.full((4, 7, 3), SENTINEL, numpy.uint8)),
    }
    for name, out in wrong.items():
        with pytest.raises(ValueError, match=r"C-contiguous uint8 numpy array of shape \(4, 7, 3\)"):
            raster_pcx.decode(data, out=out)
        assert (out == SENTINEL).all(), name
    read_only = numpy.full((4, 7, 3), SENTINEL, numpy.uint8)
    read_only.flags.writeable = False
    with pytest.raises(ValueError, match="read-only"):
        raster_pcx.decode(data, out=read_only)
    with pytest.raises(ValueError, match="list"):
        raster_pcx.decode(data, out=[0] * 84)


def test_damage_is_a_warning_naming_it_and_the_rows_read():
    # Cut 10 bytes into the third row of 24 raw bytes a row (no byte
    # repeats, so the data is raw).
    cut = true_colour_picture(3, cut=24 * 2 + 10)
    with pytest.warns(raster_pcx.DamageWarning) as caught:
        picture = raster_pcx.read(cut)
    message = str(caught[0].message)
    assert raster_pcx._codec.damage_text(1) in message and "2 of 4 rows read" in message
    assert caught[0].filename == __file__
    assert picture.facts.damage == raster_pcx.Damage.SHORT_DATA and picture.facts.rows_decoded == 2
    expected = expected_true_colour(3)
    assert numpy.array_equal(picture.pixels[:2], expected[:2])
    assert (picture.pixels[3] == 0).all()
    # The third row keeps the pixels whose every byte came from the data:
    # red planes of x 0..7 only, so none.
    assert (picture.pixels[2] == 0).all()


def test_strict_raises_with_what_was_read():
    cut = true_colour_picture(3, cut=24 * 2 + 10)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(raster_pcx.DamageError) as raised:
            raster_pcx.decode(cut, strict=True)
    assert isinstance(raised.value, raster_pcx.PcxError)
    assert raised.value.damage == raster_pcx.Damage.SHORT_DATA
    assert numpy.array_equal(raised.value.picture.pixels[:2], expected_true_colour(3)[:2])
    # A picture that lost only its colours: its indices stay, its colours
    # are the grey ramp.
    with pytest.warns(raster_pcx.DamageWarning, match="1 of 1 rows read"):
        facts = raster_pcx.read(pcx(2, 1, 8, 1, [bytes((7, 200))], 2)).facts
    assert facts.damage == raster_pcx.Damage.NO_TRAILER
    assert facts.palette[200].tolist() == [200, 200, 200]


def test_encode_round_trips_every_layout_with_any_strides():
    rng = numpy.random.default_rng(7)
    cases = [
        (rng.integers(0, 2, (5, 13), dtype=numpy.uint8), numpy.array([[0, 0, 0], [255, 255, 255]], numpy.uint8), 1, 1),
        (rng.integers(0, 16, (6, 9), dtype=numpy.uint8), rng.integers(0, 256, (16, 3), dtype=numpy.uint8), 1, 4),
        (rng.integers(0, 256, (7, 11), dtype=numpy.uint8), rng.integers(0, 256, (256, 3), dtype=numpy.uint8), 8, 1),
        (rng.integers(0, 256, (3, 5, 3), dtype=numpy.uint8), None, 8, 3),
        (rng.integers(0, 256, (4, 3, 4), dtype=numpy.uint8), None, 8, 4),
    ]
    for pixels, palette, bits, planes in cases:
        views = [pixels, pixels[::-1].copy()[::-1], numpy.asfortranarray(pixels),
                 numpy.repeat(pixels, 2, axis=1)[:, ::2]]
        for view in views:
            data = raster_pcx.encode(view, palette)
            facts = raster_pcx.inspect(data)
            assert (facts.bits_per_pixel, facts.planes) == (bits, planes)
            assert numpy.array_equal(raster_pcx.decode(data), pixels)
            if palette is not None:
                assert numpy.array_equal(facts.palette, palette)


def test_encode_refuses_with_a_reason():
    palette = numpy.zeros((4, 3), numpy.uint8)
    refusals = [
        (numpy.zeros((0, 4), numpy.uint8), palette, "at least 1 x 1"),
        (numpy.zeros((2, 2), numpy.uint8), None, "palette"),
        (numpy.zeros((2, 2), numpy.uint8), palette[:1], "2 to 256"),
        (numpy.full((2, 2), 4, numpy.uint8), palette, "index 4"),
        (numpy.zeros((2, 2, 3), numpy.uint16), None, "uint8"),
        (numpy.zeros((2, 2, 2), numpy.uint8), None, "shape"),
        (numpy.zeros((2, 2, 3), numpy.uint8), palette, "palette"),
        (numpy.zeros((1, 65537), numpy.uint8), palette, "at most 65536"),
        (numpy.zeros((1, 65535, 3), numpy.uint8), None, "at most 65534 bytes"),
    ]
    for pixels, colours, words in refusals:
        with pytest.raises(ValueError, match=words):
            raster_pcx.encode(pixels, colours)
    assert raster_pcx.inspect(raster_pcx.encode(numpy.zeros((1, 65534, 3), numpy.uint8))).width == 65534
    black_white = numpy.array([[0, 0, 0], [255, 255, 255]], numpy.uint8)
    assert raster_pcx.inspect(raster_pcx.encode(numpy.ones((1, 65536), numpy.uint8), black_white)).width == 65536


def test_write_leaves_a_whole_file_or_the_old_one(tmp_path):
    path = tmp_path / "out.pcx"
    pixels = numpy.arange(24, dtype=numpy.uint8).reshape(2, 4, 3)
    raster_pcx.write(path, pixels)
    assert path.read_bytes() == raster_pcx.encode(pixels)
    with pytest.raises(ValueError):
        raster_pcx.write(path, numpy.zeros((2, 2), numpy.uint8))
    assert path.read_bytes() == raster_pcx.encode(pixels)
    assert os.listdir(tmp_path) == ["out.pcx"]
    umask = os.umask(0o022)
    os.umask(umask)
    assert os.stat(path).st_mode & 0o777 == 0o666 & ~umask
