"""Multi-page files (DCX): pages listed from the table with its faults
named, any page decoded by page=, a lost page refused by name, and Pillow
paging through them with the plugin; ImageMagick's pages agree."""
import io
import struct
import subprocess

import numpy
import pytest
from PIL import Image

import raster_pcx
import raster_pcx.pillow
from conftest import SMALL_INDICES, small_picture, true_colour_picture, true_colour_value

MARK = struct.pack("<I", 0x3ADE68B1)


def dcx(pictures, head=4100, offsets=None):
    """The mark, a table of page offsets ended by zero (padded to `head`
    bytes), and the pictures back to back."""
    if offsets is None:
        offsets, at = [], head
        for picture in pictures:
            offsets.append(at)
            at += len(picture)
    table = MARK + b"".join(struct.pack("<I", o) for o in offsets) + struct.pack("<I", 0)
    return table.ljust(head, b"\0") + b"".join(pictures)


PAGES = [small_picture(), true_colour_picture(3), true_colour_picture(4, width=5, height=2)]


def expected_true_colour(planes, width, height):
    return numpy.array([[[true_colour_value(x, y, p) for p in range(planes)] for x in range(width)]
                        for y in range(height)], dtype=numpy.uint8)


def test_pages_are_listed_with_their_offsets_and_extents(tmp_path):
    data = dcx(PAGES)
    listed = raster_pcx.pages(data)
    sizes = [len(p) for p in PAGES]
    assert [(p.index, p.offset, p.extent) for p in listed] == [
        (0, 4100, sizes[0]), (1, 4100 + sizes[0], sizes[1]), (2, 4100 + sizes[0] + sizes[1], sizes[2])]
    assert all(p.faults == raster_pcx.DcxFault(0) and not p.lost for p in listed)
    single = raster_pcx.pages(small_picture())
    assert [(p.index, p.offset, p.extent) for p in single] == [(0, 0, len(small_picture()))]
    assert raster_pcx.pages(MARK) == []
    with pytest.raises(raster_pcx.PcxError):
        raster_pcx.pages(b"this is no picture at all, but it is long enough to be read" * 3)
    with pytest.raises(IndexError, match="0 pages"):
        raster_pcx.decode(MARK)


def test_every_page_decodes_from_every_source(tmp_path):
    path = tmp_path / "three.dcx"
    path.write_bytes(dcx(PAGES))
    for source in (path, str(path), path.read_bytes()):
        assert numpy.array_equal(raster_pcx.decode(source), SMALL_INDICES)
        assert numpy.array_equal(raster_pcx.decode(source, page=0), SMALL_INDICES)
        assert numpy.array_equal(raster_pcx.decode(source, page=1), expected_true_colour(3, 7, 4))
        assert numpy.array_equal(raster_pcx.read(source, page=2).pixels, expected_true_colour(4, 5, 2))
        assert raster_pcx.inspect(source, page=2).planes == 4
        with pytest.raises(IndexError, match="3 pages"):
            raster_pcx.decode(source, page=3)
        with pytest.raises(IndexError):
            raster_pcx.inspect(source, page=-1)
    with pytest.raises(IndexError, match="one page"):
        raster_pcx.decode(small_picture(), page=1)
    with pytest.raises(TypeError):
        raster_pcx.decode(small_picture(), page="0")


def test_a_file_cut_short_names_the_pages_it_lost():
    whole = dcx(PAGES)
    cut = whole[:4100 + len(PAGES[0]) + 128 + 40]  # into the second page's data
    listed = raster_pcx.pages(cut)
    assert len(listed) == 3 and listed[2].lost and listed[2].faults & raster_pcx.DcxFault.PAST_END
    assert raster_pcx._codec.dcx_fault_text(1) in listed[2].fault_words
    assert numpy.array_equal(raster_pcx.decode(cut, page=0), SMALL_INDICES)
    with pytest.warns(raster_pcx.DamageWarning, match="^page 1: damaged .* rows read"):
        raster_pcx.decode(cut, page=1)
    with pytest.raises(raster_pcx.PcxError, match="page 2 of 3 is lost"):
        raster_pcx.decode(cut, page=2)


def test_table_faults_are_named_per_page():
    shared = dcx(PAGES[:1], offsets=[4100, 4100])
    assert [p.faults & raster_pcx.DcxFault.OVERLAP for p in raster_pcx.pages(shared)] != [0, 0]
    not_pcx = dcx([b"this is no picture at all" * 8])
    assert raster_pcx.pages(not_pcx)[0].faults == raster_pcx.DcxFault.NOT_PCX
    with pytest.raises(raster_pcx.PcxError):
        raster_pcx.decode(not_pcx)


def test_pillow_pages_through_a_dcx_file():
    with Image.open(io.BytesIO(dcx(PAGES))) as image:
        assert image.format == "DCX" and image.n_frames == 3 and image.is_animated and image.tell() == 0
        assert image.mode == "P" and numpy.array_equal(numpy.asarray(image), SMALL_INDICES)
        image.seek(2)
        assert image.tell() == 2 and image.mode == "RGBA" and image.size == (5, 2)
        assert numpy.array_equal(numpy.asarray(image), expected_true_colour(4, 5, 2))
        image.seek(1)
        assert image.mode == "RGB" and numpy.array_equal(numpy.asarray(image), expected_true_colour(3, 7, 4))
        with pytest.raises(EOFError):
            image.seek(3)
        assert image.tell() == 1


def test_pillow_names_a_lost_page_and_the_tables_faults():
    cut = dcx(PAGES)[:4100 + len(PAGES[0]) + 128 + 40]
    with Image.open(io.BytesIO(cut)) as image:
        assert image.n_frames == 3 and raster_pcx._codec.dcx_fault_text(1) in image.info["dcx_faults"]
        with pytest.warns(raster_pcx.DamageWarning):
            image.seek(1)
        assert "pcx_damage" in image.info
        with pytest.raises(raster_pcx.PcxError, match="lost"):
            image.seek(2)


def test_imagemagicks_pages_agree(tmp_path):
    try:
        version = subprocess.run(["convert", "-version"], capture_output=True, text=True, timeout=30).stdout
    except OSError:
        version = ""
    if not version.startswith("Version: ImageMagick"):
        pytest.skip("ImageMagick's convert is not installed")
    rng = numpy.random.default_rng(34)
    grey = numpy.repeat(numpy.arange(24, dtype=numpy.uint8)[None, :] * 10, 9, axis=0)
    pictures = [numpy.dstack([grey] * 3), rng.integers(0, 256, (7, 13, 3), dtype=numpy.uint8),
                numpy.dstack([grey[:, :5] // 3, grey[:, :5], 255 - grey[:, :5]])]
    names = []
    for i, rgb in enumerate(pictures):
        names.append(str(tmp_path / f"{i}.ppm"))
        with open(names[-1], "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (rgb.shape[1], rgb.shape[0]) + rgb.tobytes())
    target = tmp_path / "mixed.dcx"
    subprocess.run(["convert", *names, str(target)], check=True, timeout=60)
    assert len(raster_pcx.pages(target)) == 3
    for i, rgb in enumerate(pictures):
        assert numpy.array_equal(raster_pcx.decode(target, "rgb", page=i), rgb), i


def test_the_peers_multi_page_corpus_reads_page_for_page():
    # The test corpus's files, written by ImageMagick and netpbm, beside
    # each page as the peers read it (PNG, RGB).
    import pathlib
    corpus = pathlib.Path(__file__).parents[1] / "tools" / "dcx_corpus"
    for name, count, dpi in (("mixed", 4, None), ("fax", 2, (204, 196))):
        listed = raster_pcx.pages(corpus / f"{name}.dcx")
        assert len(listed) == count and not any(p.faults for p in listed), name
        with Image.open(corpus / f"{name}.dcx") as image:
            assert image.format == "DCX" and image.n_frames == count
            for page in range(count):
                with Image.open(corpus / f"{name}-{page + 1}.png") as png:
                    expected = numpy.asarray(png.convert("RGB"))
                assert numpy.array_equal(raster_pcx.decode(corpus / f"{name}.dcx", "rgb", page=page), expected)
                image.seek(page)
                assert numpy.array_equal(numpy.asarray(image.convert("RGB")), expected), (name, page)
                if dpi:
                    assert raster_pcx.inspect(corpus / f"{name}.dcx", page=page).dpi == dpi
