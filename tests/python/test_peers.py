"""Pictures written by other programs (ImageMagick, netpbm, Pillow's own PCX
writer) decode through raster_pcx to exactly what the C codec gives through
pcx2png's PNG (read back by Pillow's PNG reader). A peer counts as present
only when its version line says whose it is; otherwise its pictures are
skipped with the reason."""
import io
import os
import shutil
import subprocess

import numpy
import pytest
from PIL import Image, PcxImagePlugin

import raster_pcx


def first_line(command):
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=30)
    except (OSError, subprocess.TimeoutExpired):
        return ""
    return (done.stdout + done.stderr).splitlines()[0] if (done.stdout + done.stderr) else ""


def have_imagemagick():
    return first_line(["convert", "-version"]).startswith("Version: ImageMagick")


def have_netpbm():
    return "Netpbm" in first_line(["ppmtopcx", "-version"])


def sample_rgb(colours):
    """37 x 23 (odd sides), with `colours` distinct colours at most."""
    y, x = numpy.mgrid[0:23, 0:37]
    index = (x * 7 + y * 3) % colours
    palette = numpy.stack([index * 53 % 256, index * 101 % 256, 255 - index * 29 % 256], axis=-1)
    return palette.astype(numpy.uint8)


def write_ppm(path, rgb):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (rgb.shape[1], rgb.shape[0]) + rgb.tobytes())


def peer_pictures(folder):
    """(name, path) of each peer's pictures; the missing peers' names."""
    written, missing = [], []
    sources = {colours: folder / f"c{colours}.ppm" for colours in (2, 16, 200, 100000)}
    for colours, path in sources.items():
        write_ppm(path, sample_rgb(colours))
    if have_imagemagick():
        for colours, source in sources.items():
            target = folder / f"magick-{colours}.pcx"
            subprocess.run(["convert", str(source), str(target)], check=True, timeout=60)
            written.append(target)
    else:
        missing.append("ImageMagick")
    if have_netpbm():
        for colours, source in sources.items():
            for options in ([], ["-24bit"]):
                target = folder / f"netpbm-{colours}{''.join(options)}.pcx"
                with open(source, "rb") as i, open(target, "wb") as o:
                    subprocess.run(["ppmtopcx", *options], stdin=i, stdout=o, stderr=subprocess.DEVNULL, check=True,
                                   timeout=60)
                written.append(target)
    else:
        missing.append("netpbm")
    image = Image.fromarray(sample_rgb(200), "RGB")
    for mode, picture in (("1", image.convert("1")), ("L", image.convert("L")), ("P", image.convert("P")),
                          ("RGB", image)):
        target = folder / f"pillow-{mode}.pcx"
        with open(target, "wb") as f:
            PcxImagePlugin._save(picture, f, str(target))  # Pillow's own writer, whoever is registered
        written.append(target)
    return written, missing


def test_peer_pictures_decode_as_the_c_codec_decodes_them(tmp_path):
    pcx2png = os.environ.get("RASTER_PCX2PNG")
    if not pcx2png or not shutil.which(pcx2png):
        pytest.skip("RASTER_PCX2PNG names no pcx2png program")
    written, missing = peer_pictures(tmp_path)
    subprocess.run([pcx2png, *map(str, written), "-o", str(tmp_path / "png")], check=True,
                   capture_output=True, timeout=120)
    for path in written:
        with Image.open(tmp_path / "png" / (path.stem + ".png")) as png:
            expected = numpy.asarray(png.convert("RGB"))
        facts = raster_pcx.inspect(path)
        assert facts.damage == raster_pcx.Damage(0), path.name
        assert numpy.array_equal(raster_pcx.decode(path, "rgb"), expected), path.name
        assert numpy.array_equal(raster_pcx.decode(io.BytesIO(path.read_bytes()), "rgb"), expected), path.name
        if facts.true_colour:
            assert numpy.array_equal(raster_pcx.decode(path), expected), path.name
        else:
            assert numpy.array_equal(facts.palette[raster_pcx.decode(path)], expected), path.name
    if missing:
        pytest.skip(f"checked {len(written)} pictures; missing peers (not counted as present): {', '.join(missing)}")
