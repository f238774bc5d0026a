"""Every kind of source gives the same picture; facts from the header and
trailer; what is no picture is refused with the codec's words."""
import io
import mmap
import pathlib

import numpy
import pytest

import raster_pcx
from conftest import SMALL_INDICES, ramp_trailer, small_picture


def source_kinds(data, tmp_path):
    path = tmp_path / "picture.pcx"
    path.write_bytes(data)
    padded = numpy.frombuffer(b"\x00" + data, dtype=numpy.uint8)[1:]  # not aligned, a view
    with open(path, "rb") as f:
        mapped = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
    prefixed = io.BytesIO(b"JUNK" + data)
    prefixed.seek(4)
    return {
        "bytes": data, "bytearray": bytearray(data), "memoryview": memoryview(data)[0:], "mmap": mapped,
        "uint8 array": padded, "str path": str(path), "PathLike": pathlib.Path(path),
        "file object": open(path, "rb"), "BytesIO at an offset": prefixed,
    }


def test_every_source_kind_gives_the_same_indices_and_facts(tmp_path):
    expected = numpy.array(SMALL_INDICES, dtype=numpy.uint8)
    for name, source in source_kinds(small_picture(), tmp_path).items():
        pixels = raster_pcx.decode(source)
        assert pixels.dtype == numpy.uint8 and pixels.shape == (3, 5), name
        assert numpy.array_equal(pixels, expected), name
        if hasattr(source, "seek") and not isinstance(source, mmap.mmap):
            source.seek(4 if name.startswith("BytesIO") else 0)
        facts = raster_pcx.inspect(source)
        assert (facts.width, facts.height, facts.bits_per_pixel, facts.planes) == (5, 3, 8, 1), name
        if hasattr(source, "close"):
            source.close()


def test_facts_of_the_header_and_trailer():
    facts = raster_pcx.inspect(small_picture())
    assert (facts.bytes_per_line, facts.version, facts.dpi, facts.colours) == (6, 5, (72, 72), 256)
    assert facts.colour_source == raster_pcx.ColourSource.TRAILER
    assert facts.damage == raster_pcx.Damage(0) and facts.notes == raster_pcx.Note(0)
    assert facts.palette.shape == (256, 3) and facts.palette.dtype == numpy.uint8
    assert facts.palette.tobytes() == ramp_trailer()
    assert (facts.rows_decoded, facts.data_bytes) == (0, 0)


def test_read_adds_what_decoding_finds():
    picture = raster_pcx.read(small_picture())
    assert picture.facts.rows_decoded == 3
    assert picture.facts.data_bytes == len(small_picture()) - 128 - 769
    assert picture.palette is picture.facts.palette


def test_the_demo_sky(pictures):
    pixels = raster_pcx.decode(pictures / "SKY.PCX")
    assert pixels.shape == (200, 640)
    rgb = raster_pcx.decode(str(pictures / "SKY.PCX"), "rgb")
    palette = raster_pcx.inspect(pictures / "SKY.PCX").palette
    assert numpy.array_equal(rgb, palette[pixels])


def test_what_is_no_picture_is_refused_with_the_codecs_words(tmp_path):
    empty = tmp_path / "empty.pcx"
    empty.write_bytes(b"")
    for source in (b"", b"this is no picture at all, but it is long enough to be read" * 3, empty):
        with pytest.raises(raster_pcx.PcxError) as refused:
            raster_pcx.decode(source)
        assert isinstance(refused.value, ValueError)
        assert str(refused.value) in {raster_pcx._codec.result_text(code) for code in (2, 3)}
    with pytest.raises(FileNotFoundError):
        raster_pcx.inspect(tmp_path / "missing.pcx")


def test_sources_of_the_wrong_kind_are_named():
    with pytest.raises(TypeError, match="uint8"):
        raster_pcx.decode(numpy.zeros(200, dtype=numpy.uint16))
    with pytest.raises(TypeError, match="binary"):
        raster_pcx.decode(io.StringIO("text"))
    with pytest.raises(TypeError, match="int"):
        raster_pcx.decode(42)
