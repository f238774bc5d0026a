#!/usr/bin/python3
"""Makes the multi-page files the tools' tests read, from the peers:

    make_corpus.py [FOLDER]        (default: this script's folder)

  mixed.dcx      ImageMagick's DCX of four pages: a grey picture (which it
                 writes as true colour), a 256-colour one, a true-colour one
                 and a black-and-white one
  mixed-N.png    each page as ImageMagick reads it back (RGB); the last
                 as netpbm's pcxtoppm and Pillow read it, since ImageMagick 6
                 reads every 1-bit, one-plane PCX picture with its bits
                 inverted, its own as well (it writes them inverted too: the
                 page is the checkerboard's negative, as the file's header
                 colours say)
  fax.dcx        two 1-bit fax pages of 1728 x 2200 at 204 x 196 dpi, each
                 written by netpbm's ppmtopcx, in a DCX table laid out as
                 ImageMagick lays it out (the first page at byte 4100)
  fax-N.png      each page as netpbm's pcxtoppm reads it (RGB)

Needs ImageMagick (convert), netpbm (ppmtopcx, pcxtoppm) and Pillow; each
is present only when its own version line says so. The files are checked
in: the tests compare against them without the peers.
"""
import io
import os
import random
import struct
import subprocess
import sys

from PIL import Image

FAX_WIDTH, FAX_HEIGHT = 1728, 2200
FAX_DPI = (204, 196)


def first_line(args):
    try:
        done = subprocess.run(args, capture_output=True, text=True, timeout=30)
    except OSError:
        return ""
    return (done.stdout or done.stderr).splitlines()[0] if (done.stdout or done.stderr) else ""


def need_peers():
    if not first_line(["convert", "-version"]).startswith("Version: ImageMagick"):
        sys.exit("make_corpus.py: ImageMagick's convert is not installed")
    if "Netpbm" not in first_line(["pcxtoppm", "-version"]):
        sys.exit("make_corpus.py: netpbm's pcxtoppm is not installed")


def run(args, data=None):
    return subprocess.run(args, input=data, capture_output=True, check=True).stdout


def mixed(folder):
    pictures = [
        ("-size", "64x48", "gradient:black-white", "-colorspace", "Gray", "-type", "Palette"),
        ("-size", "70x46", "gradient:red-blue", "-swirl", "270", "-colors", "100", "-type", "Palette"),
        ("-size", "70x46", "gradient:yellow-navy", "-swirl", "180", "-type", "TrueColor"),
        ("-size", "33x17", "pattern:checkerboard", "-monochrome"),
    ]
    args = ["convert"]
    for picture in pictures:
        args += ["("] + list(picture) + [")"]
    target = os.path.join(folder, "mixed.dcx")
    run(args + [target])
    for page in range(len(pictures) - 1):
        run(["convert", "%s[%d]" % (target, page), "-depth", "8", "PNG24:" + os.path.join(folder, "mixed-%d.png" %
                                                                                          (page + 1))])
    with open(target, "rb") as f:
        data = f.read()
    last = struct.unpack("<I", data[4 * len(pictures):4 * len(pictures) + 4])[0]
    ppm = run(["pcxtoppm"], data[last:])
    Image.open(io.BytesIO(ppm)).convert("RGB").save(os.path.join(folder, "mixed-%d.png" % len(pictures)))


def fax_page(seed):
    """A letter-like page, as a PBM: lines of words drawn as solid blocks on
    white, a short letter's worth, so that the page compresses as a fax
    does."""
    rng = random.Random(seed)
    rows = [bytearray(FAX_WIDTH // 8) for _ in range(FAX_HEIGHT)]
    for top in range(200, 200 + 24 * 56, 56):
        x = 140
        while x < FAX_WIDTH - 300:
            word = rng.randrange(40, 220)
            for y in range(top, top + 16):
                for column in range(x, x + word):
                    rows[y][column >> 3] |= 0x80 >> (column & 7)
            x += word + rng.randrange(16, 40)
    return b"P4\n%d %d\n" % (FAX_WIDTH, FAX_HEIGHT) + b"".join(bytes(r) for r in rows)


def fax(folder):
    pages = []
    for seed in (1, 2):
        page = bytearray(run(["ppmtopcx"], fax_page(seed)))
        page[12:16] = struct.pack("<HH", *FAX_DPI)  # fax resolution; netpbm writes the size there
        pages.append(bytes(page))
        ppm = run(["pcxtoppm"], bytes(page))
        Image.open(io.BytesIO(ppm)).convert("RGB").save(os.path.join(folder, "fax-%d.png" % seed), optimize=True)
    head = struct.pack("<I", 0x3ADE68B1)
    at = 4100
    for page in pages:
        head += struct.pack("<I", at)
        at += len(page)
    with open(os.path.join(folder, "fax.dcx"), "wb") as f:
        f.write(head.ljust(4100, b"\0") + b"".join(pages))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    need_peers()
    mixed(folder)
    fax(folder)


if __name__ == "__main__":
    main()
