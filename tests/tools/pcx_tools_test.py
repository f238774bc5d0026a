#!/usr/bin/env python3
"""The PCX tools run as people run them, one group of checks at a time:

  pcx_tools_test.py --pcxcheck PATH --pcx2png PATH --png2pcx PATH GROUP

Groups: check-statuses, check-golden, damage, dcx-check (pcxcheck, and
pcx2png when given), pcx2png-statuses, dcx-pcx2png (pcx2png),
png2pcx-statuses, dcx-png2pcx, round-trip, peers, dcx-corpus, dcx-peers
(both converters). A group that needs
Pillow or netpbm ends with status 77 (skipped) without them.
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
# The PCX files are built by the helpers the Python package's tests use too.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from pcx_bytes import pcx, ramp_trailer  # noqa: E402  (after the path it needs)

SKIP = 77


def golden_files(folder):
    """Small files, each with what pcxcheck must say of it."""
    files = {}
    # 5 x 3, 8 bits, lines padded to 6 bytes, trailer: whole. Raw 18 bytes;
    # data: row 0 "1 2 3 4 5 0" 6 bytes, row 1 one run of 6 (2 bytes), row 2
    # 0xC8 needs an escape (2) + 5 others = 7 bytes: 15 in all, 1.2:1.
    rows = [bytes((1, 2, 3, 4, 5, 0)), bytes((9,) * 6), bytes((0xC8, 7, 6, 5, 4, 0))]
    files["a-whole.pcx"] = pcx(5, 3, 8, 1, rows, 6, trailer=ramp_trailer())
    # The same with 5 bytes a line (odd): a note, nothing lost. 13 bytes of
    # data for 15.
    files["b-odd.pcx"] = pcx(5, 3, 8, 1, [r[:5] for r in rows], 5, trailer=ramp_trailer())
    # 7 x 4 true colour, 8 bytes a plane line; each row's three planes
    # differ so none is a single run: 24 raw bytes a row. Cut 10 bytes
    # into the third row.
    tc = [bytes((y * 40 + p * 10 + x) % 0xC0 for x in range(8)) for y in range(4) for p in range(3)]
    files["c-cut.pcx"] = pcx(7, 4, 8, 3, [b"".join(tc[y * 3:y * 3 + 3]) for y in range(4)], 8, cut=24 * 2 + 10)
    # 32 x 2, 1 bit x 4 planes, 16 colours from the header, version 3 (no
    # trailer expected); each row one run of 16 zeros: 32 raw bytes in 4.
    header16 = bytes(v for i in range(16) for v in (i * 16, i * 8, 255 - i * 16))
    files["d-sixteen.pcx"] = pcx(32, 2, 1, 4, [bytes(16)] * 2, 4, version=3, header16=header16)
    # 256 colours of version 5 without the trailer: colours lost, shown as
    # greys.
    files["e-no-trailer.pcx"] = pcx(5, 3, 8, 1, rows, 6)
    files["f-text.pcx"] = b"this is no picture at all, but it is long enough to be read" * 3
    files["g-layout.pcx"] = pcx(4, 2, 24, 1, [bytes(12)] * 2, 12)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return sorted(files)


GOLDEN = """\
{d}/a-whole.pcx: 5 x 3, 8 bits x 1 plane, version 5, 256 colours from the trailer, compressed 1.2:1
{d}/b-odd.pcx: 5 x 3, 8 bits x 1 plane, version 5, 256 colours from the trailer, compressed 1.2:1
  note: BytesPerLine is odd or more than the width needs
{d}/c-cut.pcx: 7 x 4, 8 bits x 3 planes, version 5, true colour, compression unknown (data cut short)
  damage: the data ends before the last row (after row 2 of 4)
{d}/d-sixteen.pcx: 32 x 2, 1 bit x 4 planes, version 3, 16 colours from the header, compressed 8.0:1
{d}/e-no-trailer.pcx: 5 x 3, 8 bits x 1 plane, version 5, 256 colours shown as greys, compressed 1.2:1
  damage: the 256-colour trailer is missing: colours unknown
{d}/f-text.pcx: refused: not a PCX picture (its 128-byte header is cut short, lacks the PCX mark or names no pixels)
{d}/g-layout.pcx: refused: a pixel layout no reader stores, or line sizes that cannot hold the picture: \
24 bits x 1 plane, 4 x 2, 12 bytes a line
{d}/missing.pcx: refused: does not exist
8 files: 2 whole, 1 with notes only, 2 damaged, 3 refused
"""

failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)


def run(args, cwd=None):
    result = subprocess.run(args, capture_output=True, text=True, cwd=cwd, timeout=120)
    return result.returncode, result.stdout, result.stderr


def group_check_golden(tools, work):
    names = golden_files(work)
    status, out, err = run([tools["pcxcheck"]] + [os.path.join(work, n) for n in names] +
                           [os.path.join(work, "missing.pcx")])
    expected = GOLDEN.format(d=work)
    check(out == expected, "pcxcheck's report, line for line")
    if out != expected:
        for got, want in zip(out.splitlines() + [""] * 9, expected.splitlines() + [""] * 9):
            if got != want:
                print("  got:  %r\n  want: %r" % (got, want))
    check(status == 1 and err == "", "status 1 and nothing on standard error (%d, %r)" % (status, err))
    # -q leaves out the whole and the noted files and the summary; -r finds
    # every .pcx in any case, in name order.
    os.rename(os.path.join(work, "d-sixteen.pcx"), os.path.join(work, "d-sixteen.PCX"))
    status, out, _ = run([tools["pcxcheck"], "-q", "--recursive=" + work])
    quiet = [line for line in expected.splitlines() if line.startswith("  damage") or
             any(name in line for name in ("c-cut", "e-no-trailer", "f-text", "g-layout"))]
    check(status == 1 and out.splitlines() == quiet, "pcxcheck -q -r: only what lost something: %r" % out)


def group_check_statuses(tools, work):
    golden_files(work)
    pcxcheck = tools["pcxcheck"]
    path = lambda name: os.path.join(work, name)  # noqa: E731
    for args, status, what in (
            ([path("a-whole.pcx")], 0, "sound"), ([path("b-odd.pcx")], 0, "noted"),
            ([path("a-whole.pcx"), path("b-odd.pcx"), path("d-sixteen.pcx")], 0, "sound and noted"),
            ([path("c-cut.pcx")], 1, "damaged"), ([path("e-no-trailer.pcx")], 1, "colours lost"),
            ([path("a-whole.pcx"), path("f-text.pcx")], 1, "refused"), ([path("missing.pcx")], 1, "missing"),
            ([work], 1, "a folder without -r"), (["-r", path("none")], 1, "no such folder"),
            (["--help"], 0, "--help"), ([], 2, "no files"), (["-x", path("a-whole.pcx")], 2, "unknown option"),
            (["--max-pixels", "0", path("a-whole.pcx")], 2, "bad value"), (["-r"], 2, "missing value")):
        got, out, err = run([pcxcheck] + args)
        check(got == status, "pcxcheck %s: status %d (%d)" % (what, status, got))
        if status == 2:
            check(err.count("\n") == 1 and out == "", "pcxcheck %s: one line: %r" % (what, err))
    got, out, _ = run([pcxcheck, "--max-pixels=14", path("a-whole.pcx")])
    check(got == 1 and "refused: 5 x 3 pixels, more than --max-pixels 14" in out, "pcxcheck --max-pixels: %r" % out)


def peer_missing(program):
    """Empty when a peer is here, else why not: its version line decides (tests/support/peer)."""
    peer = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "peer")
    checked = subprocess.run([peer, program, sys.executable], capture_output=True, text=True)
    return (checked.stdout.strip() or checked.stderr.strip()) if checked.returncode != 0 else ""


def pillow():
    missing = peer_missing("pillow")
    if missing:
        print("%s: skipped" % missing)
        return None
    from PIL import Image
    return Image


def chunks(path):
    """A PNG's IHDR and PLTE chunk bodies."""
    with open(path, "rb") as f:
        data = f.read()
    found, at = {}, 8
    while at + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        found.setdefault(kind.decode("latin-1"), data[at + 8:at + 8 + size])
        at += size + 12
    return found.get("IHDR"), found.get("PLTE")


def test_pictures(Image):
    """Tiny odd-sized asymmetric PNG pictures, one per layout png2pcx picks:
    name: (picture, options, bits, planes)."""
    w, h = 13, 7
    pixel = [(x * 7 + y * 3 + x * y) for y in range(h) for x in range(w)]
    bw = Image.new("P", (w, h))
    bw.putpalette([0, 0, 0, 255, 255, 255])
    bw.putdata([(x * 3 + y * 5 + x // 4) % 3 % 2 for y in range(h) for x in range(w)])
    sixteen = Image.new("P", (w, h))
    sixteen.putpalette([c for i in range(11) for c in (i * 23, 200 - i * 17, (i * 91) % 256)])
    sixteen.putdata([v % 11 for v in pixel])
    many = Image.new("P", (19, 11))
    many.putpalette([c for i in range(200) for c in (i, (i * 7) % 256, 255 - i)])
    many.putdata([(i * 37) % 200 for i in range(19 * 11)])
    rgb = Image.new("RGB", (19, 17))
    rgb.putdata([(i % 19 * 13, i // 19 * 15, (i * 29) % 256) for i in range(19 * 17)])
    rgba = Image.new("RGBA", (11, 5))
    rgba.putdata([(x * 20, y * 50, 7, (x * y * 23 + 5) % 256) for y in range(5) for x in range(11)])
    grey = Image.new("L", (9, 4))
    grey.putdata([(x * 3 + y) % 16 for y in range(4) for x in range(9)])
    return {"bw": (bw, [], 1, 1), "sixteen": (sixteen, [], 1, 4), "many": (many, [], 8, 1),
            "rgb": (rgb, [], 8, 3), "rgba": (rgba, ["--alpha"], 8, 4), "grey": (grey, [], 1, 4)}


def pcx_layout(path):
    with open(path, "rb") as f:
        header = f.read(128)
    return header[3], header[65], header[1]


def group_round_trip(tools, work):
    Image = pillow()
    if Image is None:
        return SKIP
    for name, (picture, options, bits, planes) in test_pictures(Image).items():
        first = os.path.join(work, name + ".png")
        picture.save(first)
        status, _, err = run([tools["png2pcx"], first] + options)
        check(status == 0 and pcx_layout(os.path.join(work, name + ".pcx")) == (bits, planes, 5),
              "png2pcx %s: %d bits x %d planes, version 5 (%s)" % (name, bits, planes, err.strip()))
        again = os.path.join(work, "again", name + ".png")
        status, _, err = run([tools["pcx2png"], os.path.join(work, name + ".pcx"), "-o", os.path.join(work, "again")]
                             + options)
        check(status == 0, "pcx2png %s (%s)" % (name, err.strip()))
        a, b = Image.open(first), Image.open(again)
        if name == "grey":  # grey values come back as a palette of greys
            check(a.convert("RGB").tobytes() == b.convert("RGB").tobytes(), "grey: same pixels")
            continue
        check(chunks(first) == chunks(again) and a.mode == b.mode and a.tobytes() == b.tobytes(),
              "%s: PNG -> PCX -> PNG gives the same header, palette and pixels" % name)
    # Without --alpha the fourth plane is left out: RGB.
    status, _, _ = run([tools["pcx2png"], os.path.join(work, "rgba.pcx"), "-o", os.path.join(work, "no-alpha")])
    rgb = Image.open(os.path.join(work, "no-alpha", "rgba.png"))
    check(status == 0 and rgb.mode == "RGB" and rgb.tobytes() == Image.open(os.path.join(work, "rgba.png"))
          .convert("RGB").tobytes(), "a 4-plane picture without --alpha: RGB (%s)" % rgb.mode)
    # 16-bit grey is scaled to 8 bits: v * 257 becomes v.
    deep = Image.new("I;16", (5, 3))
    deep.putdata([v * 257 for v in (0, 1, 128, 254, 255) * 3])
    deep.save(os.path.join(work, "deep.png"))
    status, _, _ = run([tools["png2pcx"], os.path.join(work, "deep.png")])
    status2, _, _ = run([tools["pcx2png"], "--force", os.path.join(work, "deep.pcx")])
    back = Image.open(os.path.join(work, "deep.png")).convert("L")
    check(status == status2 == 0 and list(back.getdata()) == [0, 1, 128, 254, 255] * 3,
          "16-bit grey scaled to 8 bits: %s" % list(back.getdata())[:5])


def group_peers(tools, work):
    """png2pcx's files read by pcxtoppm and by Pillow as the PNG was."""
    Image = pillow()
    missing = peer_missing("pcxtoppm")
    if Image is None or missing:
        print("%s: skipped" % (missing or "no Pillow"))
        return SKIP
    for name, (picture, options, _, _) in test_pictures(Image).items():
        if name == "rgba":  # neither peer reads a fourth plane of 8 bits
            continue
        png = os.path.join(work, name + ".png")
        picture.save(png)
        run([tools["png2pcx"], png])
        pcx_file = os.path.join(work, name + ".pcx")
        expected = picture.convert("RGB").tobytes()
        netpbm = subprocess.run(["pcxtoppm", pcx_file], capture_output=True).stdout
        ppm = Image.open(__import__("io").BytesIO(netpbm)).convert("RGB").tobytes() if netpbm else b""
        check(ppm == expected, "pcxtoppm reads png2pcx's %s as the PNG" % name)
        check(Image.open(pcx_file).convert("RGB").tobytes() == expected, "Pillow reads png2pcx's %s as the PNG" % name)


def group_pcx2png_statuses(tools, work):
    Image = pillow()
    if Image is None:
        return SKIP
    golden_files(work)
    pcx2png = tools["pcx2png"]
    path = lambda name: os.path.join(work, name)  # noqa: E731
    out = path("out")
    status, said, err = run([pcx2png, path("a-whole.pcx"), path("b-odd.pcx"), path("c-cut.pcx"), path("f-text.pcx"),
                             "-o", out, "-j", "3"])
    check(status == 1, "pcx2png: a refused file makes status 1 (%d)" % status)
    check(said == "pcx2png: 4 files: 3 converted (1 of them with damage), 0 kept, 1 refused, 0 failed\n", "pcx2png summary: %r" % said)
    check(err == "pcx2png: %s: converted with damage: the data ends before the last row (after row 2 of 4)\n"
                 "pcx2png: %s: refused: not a PCX picture (its 128-byte header is cut short, lacks the PCX mark or "
                 "names no pixels)\n" % (path("c-cut.pcx"), path("f-text.pcx")), "pcx2png names why: %r" % err)
    cut = Image.open(os.path.join(out, "c-cut.png"))
    rows = cut.tobytes()
    check(cut.mode == "RGB" and rows[21 * 3:] == bytes(len(rows) - 63) and rows[:21 * 2] != bytes(42),
          "the damaged picture keeps its rows and is zero after the cut")
    whole = Image.open(os.path.join(out, "a-whole.png"))
    check(whole.mode == "P" and list(whole.getdata()) == [1, 2, 3, 4, 5, 9, 9, 9, 9, 9, 0xC8, 7, 6, 5, 4],
          "the whole picture's indices")
    # One worker converts the larger, brighter picture first (largest file
    # first) and then the cut one in the same kept memory: the rows the cut
    # file lacks are zero, not what the picture before left there.
    bright = [bytes(0x80 + (y * 7 + p * 3 + x) % 0x3F for x in range(10)) for y in range(6) for p in range(3)]
    with open(path("bright.pcx"), "wb") as f:
        f.write(pcx(9, 6, 8, 3, [b"".join(bright[y * 3:y * 3 + 3]) for y in range(6)], 10))
    status, said, _ = run([pcx2png, "-j", "1", path("c-cut.pcx"), path("bright.pcx"), "-o", path("reuse")])
    lit = Image.open(path("reuse/bright.png")).tobytes()
    again = Image.open(path("reuse/c-cut.png")).tobytes()
    check(status == 0 and os.path.getsize(path("bright.pcx")) > os.path.getsize(path("c-cut.pcx")) and
          lit[:3] == bytes((0x80, 0x83, 0x86)) and lit[-3:] == bytes((0x80 + 43 % 0x3F, 0x80 + 46 % 0x3F, 0x80 + 49 % 0x3F)) and
          again == rows, "a worker's kept memory does not show through a damaged picture: %r" % said)
    for args, expected, what in (([path("a-whole.pcx"), path("b-odd.pcx"), "-o", path("o2")], 0, "sound and noted"),
                                 ([path("c-cut.pcx"), "-o", path("o3")], 0, "damaged"),
                                 ([path("missing.pcx"), "-o", path("o4")], 1, "missing"),
                                 (["--help"], 0, "--help"), ([], 2, "no files"), (["-j", "0", path("a.pcx")], 2, "-j 0"),
                                 (["--jobs=x", path("a.pcx")], 2, "--jobs=x"), (["--bogus"], 2, "unknown option")):
        got, _, err = run([pcx2png] + args)
        check(got == expected, "pcx2png %s: status %d (%d)" % (what, expected, got))
        if expected == 2:
            check(err.count("\n") == 1, "pcx2png %s: one line: %r" % (what, err))
    # An existing output is kept without --force (counted, not a failure),
    # replaced with it.
    target = os.path.join(out, "a-whole.png")
    with open(target, "wb") as f:
        f.write(b"keep")
    got, said, err = run([pcx2png, path("a-whole.pcx"), "-o", out])
    check(got == 0 and open(target, "rb").read() == b"keep" and err == "" and
          said == "pcx2png: 1 file: 0 converted (0 of them with damage), 1 kept, 0 refused, 0 failed\n",
          "pcx2png keeps an existing output: %r %r" % (said, err))
    got, _, _ = run([pcx2png, path("a-whole.pcx"), "--output=" + out, "--force"])
    check(got == 0 and open(target, "rb").read()[:4] == b"\x89PNG", "--force replaces it")
    got, _, err = run([pcx2png, path("a-whole.pcx"), "--max-pixels=14", "-o", path("o5")])
    check(got == 1 and "refused: 5 x 3 pixels, more than --max-pixels 14" in err, "pcx2png --max-pixels: %r" % err)
    # The budget counts the PNG writer's buffers beside the decoded pixels.
    # For the 5 x 3 palette picture, in bytes (one a pixel): 15 decoded, 18
    # of filtered rows, 38 of compressed data at libdeflate's bound (18, 5
    # for its one block, 1 to end it, 8 of padding, and zlib's 2-byte head
    # and 4-byte check) and 875 of file at most (signature 8, IHDR 25,
    # PLTE 12 + 768 colours, IDAT 12 + 38, IEND 12): 946. Its pixels fit in
    # 945; the whole does not.
    got, said, err = run([pcx2png, "--max-pixels", "945", "-o", path("o8"), path("a-whole.pcx")])
    check(got == 1 and not os.path.exists(path("o8/a-whole.png")) and
          "a-whole.pcx: refused: 5 x 3 pixels need room for 946 with the PNG writer's buffers, "
          "more than --max-pixels 945" in err, "pcx2png: the writer's buffers counted: %r" % err)
    # Four jobs share a budget that holds one picture at a time: they take
    # turns (no deadlock), and only the picture that needs more is refused
    # (32 x 2 at 4 bits, counted at 8 before its depth is known: its 64
    # pixels fit, its 1139 with the writer not: 66 filtered, 86 compressed,
    # 923 of file).
    got, said, err = run([pcx2png, "-j", "4", "--max-pixels", "946", "-o", path("o7"), path("a-whole.pcx"),
                          path("b-odd.pcx"), path("c-cut.pcx"), path("d-sixteen.pcx")])
    check(got == 1 and said == "pcx2png: 4 files: 3 converted (1 of them with damage), 0 kept, 1 refused, 0 failed\n" and
          "c-cut.pcx: converted with damage" in err and
          "d-sixteen.pcx: refused: 32 x 2 pixels need room for 1139" in err and
          os.path.exists(path("o7/a-whole.png")) and os.path.exists(path("o7/b-odd.png")),
          "pcx2png: jobs within the budget: %r %r" % (said, err))
    # On a terminal, and only there, a progress line.
    import pty
    master, slave = pty.openpty()
    subprocess.run([pcx2png, path("a-whole.pcx"), "-o", path("o6")], stderr=slave, stdout=subprocess.DEVNULL,
                   timeout=60)
    os.close(slave)
    shown = os.read(master, 4096).decode()
    os.close(master)
    check(shown.startswith("\rpcx2png: 1/1 files, ") and " a second" in shown, "progress on a terminal: %r" % shown)


def group_png2pcx_statuses(tools, work):
    Image = pillow()
    if Image is None:
        return SKIP
    png2pcx = tools["png2pcx"]
    path = lambda name: os.path.join(work, name)  # noqa: E731
    for args, expected, what in ((["--help"], 0, "--help"), ([], 2, "no files"), (["-j", "0", path("a.png")], 2, "-j 0"),
                                 (["--jobs=x", path("a.png")], 2, "--jobs=x"), (["--bogus"], 2, "unknown option"),
                                 (["--alpha=yes", path("a.png")], 2, "a flag with a value")):
        got, _, err = run([png2pcx] + args)
        check(got == expected and (expected != 2 or err.count("\n") == 1), "png2pcx %s: status %d, %r" % (what, got, err))
    # A tree: -r keeps the folders below it under -o.
    os.makedirs(path("tree/sub"))
    Image.new("RGB", (3, 2), (9, 8, 7)).save(path("tree/sub/x.PNG"))
    with open(path("tree/cut.png"), "wb") as f:
        f.write(open(path("tree/sub/x.PNG"), "rb").read()[:60])
    got, said, err = run([png2pcx, "-r", path("tree"), "-o", path("pcx")])
    check(got == 1 and os.path.exists(path("pcx/sub/x.pcx")) and not os.path.exists(path("pcx/cut.pcx")) and
          "cut.png: refused: a damaged PNG" in err and "\r" not in err and
          not [name for name in os.listdir(path("pcx")) if name.endswith(".part")], "png2pcx -r: %r %r" % (said, err))
    got, _, err = run([png2pcx, path("tree/sub/x.PNG"), "--layout", "16bit"])
    check(got == 2 and err == "png2pcx: --layout takes bw, 16, 256, rgb or rgba, not '16bit'\n", "--layout: %r" % err)
    got, _, err = run([png2pcx, path("tree/sub/x.PNG"), "--layout=bw", "-o", path("bw")])
    check(got == 1 and "other than black and white" in err, "--layout bw refuses colours: %r" % err)
    # Read with a bound: a size beyond --max-pixels is refused from the
    # header; a 1 x 1 picture may take 2 x (1 + 8) bytes and 16 MiB more.
    whole = open(path("tree/sub/x.PNG"), "rb").read()
    huge = whole[:16] + struct.pack(">II", 60000, 60000) + whole[24:]
    with open(path("huge.png"), "wb") as f:
        f.write(huge + bytes(1 << 20))
    Image.new("RGB", (1, 1)).save(path("one.png"))
    with open(path("long.png"), "wb") as f:
        f.write(open(path("one.png"), "rb").read() + bytes(16 << 20))
    got, _, err = run([png2pcx, path("huge.png"), path("long.png"), "-o", path("bounded")])
    check(got == 1 and "huge.png: refused: 60000 x 60000 pixels, more than --max-pixels 268435456" in err and
          "long.png: refused: longer than its pixels can need (16777234 bytes); not read" in err,
          "png2pcx reads with a bound: %r" % err)


def flipped_true_colour(flip):
    """40 x 20 true colour with no two neighbours alike (every data byte a
    literal, 120 a line); with `flip`, 20 data bytes spread over the rows
    turned into 0xFF, the header of a run of 63 (2 bytes, 63 values where
    2 literals gave 2), so the rows are filled about 1200 bytes before the
    data ends."""
    lines = [bytes((x * 7 + y * 13 + p * 29) % 0xBF for p in range(3) for x in range(40)) for y in range(20)]
    data = bytearray(pcx(40, 20, 8, 3, lines, 40))
    if flip:
        for k in range(20):
            data[128 + 37 + k * 113] = 0xFF
    return bytes(data)


def group_damage(tools, work):
    """Damage the codec finds only by decoding is named, never passed as
    whole; colours lost with the trailer come out as greys."""
    path = lambda name: os.path.join(work, name)  # noqa: E731
    for name, flip in (("sound.pcx", False), ("flipped.pcx", True)):
        with open(path(name), "wb") as f:
            f.write(flipped_true_colour(flip))
    misread = "damage: the data does not end where the picture does: runs were misread"
    got, out, _ = run([tools["pcxcheck"], path("sound.pcx")])
    check(got == 0 and "damage:" not in out and "note:" not in out and "1 whole" in out,
          "the sound picture is whole: %r" % out)
    got, out, _ = run([tools["pcxcheck"], path("flipped.pcx")])
    check(got == 1 and misread in out and "1 damaged" in out, "pcxcheck names the flipped bytes: %r" % out)
    if tools.get("pcx2png") is None:
        return 0
    golden_files(work)
    got, said, err = run([tools["pcx2png"], path("flipped.pcx"), path("e-no-trailer.pcx"), "-o", path("out")])
    check(got == 0 and "2 converted (2 of them with damage)" in said, "pcx2png converts both: %r" % said)
    check("flipped.pcx: converted with damage: " + misread[len("damage: "):] in err, "pcx2png names it: %r" % err)
    header, palette = chunks(path("out/e-no-trailer.png"))
    grey = bytes(v for i in range(256) for v in (i, i, i))
    check(header is not None and header[9] == 3 and palette is not None and len(palette) > 0 and
          palette == grey[:len(palette)] and len(palette) >= 3 * 0xC9,
          "the lost trailer's picture has a grey palette covering its indices (%r)" % (palette or b"")[:12])


DCX_MARK = 0x3ADE68B1


def dcx(pages, offsets=None, cut=None):
    """A multi-page file as writers lay it out: the table reserved in full,
    the first page at byte 4100; `offsets` replaces the table's entries."""
    starts, at = [], 4100
    for page in pages:
        starts.append(at)
        at += len(page)
    table = starts if offsets is None else offsets
    head = struct.pack("<I", DCX_MARK) + b"".join(struct.pack("<I", o) for o in table)
    body = head.ljust(4100, b"\0") + b"".join(pages)
    return body if cut is None else body[:cut]


def dcx_files(folder):
    """Multi-page files built from the golden pictures, by name."""
    golden_files(folder)
    page = {name: open(os.path.join(folder, name + ".pcx"), "rb").read()
            for name in ("a-whole", "b-odd", "c-cut", "d-sixteen")}
    files = {
        "fax.dcx": dcx([page["a-whole"], page["c-cut"], page["d-sixteen"]]),
        # Cut 3 bytes into the second page's data: the third page is lost.
        "cut.dcx": dcx([page["a-whole"], page["b-odd"], page["a-whole"]], cut=4100 + len(page["a-whole"]) + 131),
        "shared.dcx": dcx([page["a-whole"]], offsets=[4100, 4100]),
        "empty.dcx": dcx([]),
        "text.dcx": dcx([b"no picture here" * 10]),
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return page


DCX_GOLDEN = """\
{d}/fax.dcx page 1 of 3: 5 x 3, 8 bits x 1 plane, version 5, 256 colours from the trailer, compressed 1.2:1
{d}/fax.dcx page 2 of 3: damaged: the data ends before the last row (after row 2 of 4); \
7 x 4, 8 bits x 3 planes, version 5, true colour, compression unknown (data cut short)
{d}/fax.dcx page 3 of 3: 32 x 2, 1 bit x 4 planes, version 3, 16 colours from the header, compressed 8.0:1
{d}/fax.dcx: damaged: 3 pages (2 whole, 0 with notes only, 1 damaged, 0 lost or refused)
{d}/cut.dcx page 1 of 3: 5 x 3, 8 bits x 1 plane, version 5, 256 colours from the trailer, compressed 1.2:1
{d}/cut.dcx page 2 of 3: damaged: the data ends before the last row (after row 0 of 3); \
the 256-colour trailer is missing: colours unknown; 5 x 3, 8 bits x 1 plane, version 5, 256 colours shown as greys, \
compression unknown (data cut short); note: BytesPerLine is odd or more than the width needs
{d}/cut.dcx page 3 of 3: lost: a page starts past the end of the file: the file is cut short
{d}/cut.dcx: damaged: 3 pages (1 whole, 0 with notes only, 1 damaged, 1 lost or refused); \
page table: a page starts past the end of the file: the file is cut short
{d}/shared.dcx page 1 of 2: 5 x 3, 8 bits x 1 plane, version 5, 256 colours from the trailer, compressed 1.2:1; \
pages overlap (one start shared, or a page inside the table)
{d}/shared.dcx page 2 of 2: 5 x 3, 8 bits x 1 plane, version 5, 256 colours from the trailer, compressed 1.2:1; \
pages overlap (one start shared, or a page inside the table)
{d}/shared.dcx: damaged: 2 pages (0 whole, 0 with notes only, 2 damaged, 0 lost or refused); \
page table: pages overlap (one start shared, or a page inside the table)
{d}/empty.dcx: refused: 0 pages (0 whole, 0 with notes only, 0 damaged, 0 lost or refused); \
page table: the page table lists no page
{d}/text.dcx page 1 of 1: refused: not a PCX picture (its 128-byte header is cut short, lacks the PCX mark or \
names no pixels)
{d}/text.dcx: refused: 1 page (0 whole, 0 with notes only, 0 damaged, 1 lost or refused)
5 files: 0 whole, 0 with notes only, 3 damaged, 2 refused
"""


def group_dcx_check(tools, work):
    """pcxcheck on multi-page files: a line a page, the file's verdict, the
    table's faults named; the summary counts files."""
    dcx_files(work)
    names = ["fax.dcx", "cut.dcx", "shared.dcx", "empty.dcx", "text.dcx"]
    status, out, err = run([tools["pcxcheck"]] + [os.path.join(work, n) for n in names])
    expected = DCX_GOLDEN.format(d=work)
    check(status == 1 and err == "" and out == expected, "pcxcheck's report on multi-page files, line for line")
    for got, want in zip(out.splitlines(), expected.splitlines()):
        if got != want:
            print("  got:  %r\n  want: %r" % (got, want))
    fax = [line for line in expected.splitlines() if "/fax.dcx" in line]
    status, out, _ = run([tools["pcxcheck"], "-q", os.path.join(work, "fax.dcx")])
    check(status == 1 and out.splitlines() == [fax[1], fax[3]], "-q: only the damaged page and the verdict: %r" % out)
    with open(os.path.join(work, "cut.dcx"), "rb") as f:
        piped = subprocess.run([tools["pcxcheck"], "-"], stdin=f, capture_output=True, text=True)
    cut = [line.replace(work + "/cut.dcx", "(standard input)") for line in expected.splitlines() if "/cut.dcx" in line]
    check(piped.returncode == 1 and piped.stdout.splitlines()[:-1] == cut, "standard input: %r" % piped.stdout)
    # A table that claims a page 4 GiB on is refused from the table alone.
    with open(os.path.join(work, "far.dcx"), "wb") as f:
        f.write(dcx([], offsets=[0xFFFFFF00]))
    status, out, _ = run([tools["pcxcheck"], "-r", work])
    check(status == 1 and "far.dcx page 1 of 1: lost: a page starts past the end" in out and
          "/a-whole.pcx: 5 x 3" in out and "13 files:" in out, "-r takes .dcx and .pcx files: %r" % out)


def png_indices(Image, path):
    picture = Image.open(path)
    return picture.mode, list(picture.getdata())


def group_dcx_pcx2png(tools, work):
    """pcx2png: a PNG a page, numbered and padded, --page, kept on a second
    run, a cut file's lost page named and the rest converted."""
    Image = pillow()
    if Image is None:
        return SKIP
    page = dcx_files(work)
    pcx2png = tools["pcx2png"]
    path = lambda name: os.path.join(work, name)  # noqa: E731
    with open(path("long.dcx"), "wb") as f:
        f.write(dcx([page["a-whole"], page["d-sixteen"]] * 6))
    status, said, err = run([pcx2png, "--page", "2,11-", "-j", "2", "-o", path("out"), path("long.dcx")])
    made = sorted(os.listdir(path("out")))
    check(status == 0 and err == "" and made == ["long-02.png", "long-11.png", "long-12.png"] and
          said == "pcx2png: 1 file (3 pictures): 3 converted (0 of them with damage), 0 kept, 0 refused, 0 failed\n",
          "--page 2,11-: %r %r %r" % (made, said, err))
    sixteen = ("P", [0] * 64)
    whole = ("P", [1, 2, 3, 4, 5, 9, 9, 9, 9, 9, 0xC8, 7, 6, 5, 4])
    check(png_indices(Image, path("out/long-11.png")) == whole and png_indices(Image, path("out/long-12.png")) ==
          sixteen, "each page's own pixels")
    status, said, _ = run([pcx2png, "-o", path("out"), path("long.dcx")])
    check(status == 0 and "12 pictures): 9 converted (0 of them with damage), 3 kept" in said,
          "the second run converts the rest: %r" % said)
    status, said, err = run([pcx2png, "-o", path("cut"), path("cut.dcx"), "--page", "1-2,4"])
    check(status == 1 and sorted(os.listdir(path("cut"))) == ["cut-1.png", "cut-2.png"] and
          "2 converted (1 of them with damage), 0 kept, 1 refused" in said and
          "cut.dcx page 2: converted with damage: the data ends before the last row (after row 0 of 3)" in err and
          "cut.dcx page 4: refused: no such page: the file has 3" in err, "a cut file: %r %r" % (said, err))
    status, said, err = run([pcx2png, "-o", path("cut3"), path("cut.dcx")])
    check(status == 1 and "cut.dcx page 3: refused: lost: a page starts past the end of the file" in err,
          "the lost page is named: %r" % err)
    for bad in ("0", "3-2", "1,,2", "x", "1024"):
        status, _, err = run([pcx2png, "--page", bad, path("long.dcx")])
        check(status == 2 and err.count("\n") == 1 and "--page" in err, "--page %s: one line: %r" % (bad, err))


def group_dcx_png2pcx(tools, work):
    """png2pcx --dcx: one file of every input in order, whole or absent;
    each page read back by Pillow from its offset."""
    Image = pillow()
    if Image is None:
        return SKIP
    path = lambda name: os.path.join(work, name)  # noqa: E731
    grey = Image.new("L", (6, 4))
    grey.putdata([x * 40 + y for y in range(4) for x in range(6)])
    # 48 colours (8 bits and the trailer: Pillow misreads planar lines with
    # a pad byte)
    colour = Image.new("RGB", (16, 3))
    colour.putdata([(x * 15, y * 80, 200 - x * y) for y in range(3) for x in range(16)])
    pictures = [grey, colour, grey.transpose(Image.FLIP_LEFT_RIGHT)]
    names = []
    for i, picture in enumerate(pictures):
        names.append(path("p%d.png" % i))
        picture.save(names[-1])
    status, said, err = run([tools["png2pcx"], "--dcx", path("out.dcx")] + names)
    check(status == 0 and err == "" and said == "png2pcx: 3 files into %s\n" % path("out.dcx"), "written: %r" % said)
    data = open(path("out.dcx"), "rb").read()
    offsets = struct.unpack("<I4I", data[:20])
    check(offsets[0] == DCX_MARK and offsets[1] == 4100 and offsets[4] == 0 and
          data[20:4100] == bytes(4080), "the mark, three offsets from 4100 and zeros: %r" % (offsets,))
    ends = list(offsets[2:4]) + [len(data)]
    for i, picture in enumerate(pictures):
        one = Image.open(__import__("io").BytesIO(data[offsets[1 + i]:ends[i]]))
        check(one.convert("RGB").tobytes() == picture.convert("RGB").tobytes(), "page %d as its PNG" % (i + 1))
    with open(path("bad.png"), "wb") as f:
        f.write(b"not a png at all" * 4)
    status, said, err = run([tools["png2pcx"], "--dcx", path("none.dcx"), names[0], path("bad.png")])
    check(status == 1 and not os.path.exists(path("none.dcx")) and "bad.png: refused" in err and
          os.listdir(work) == [n for n in os.listdir(work) if not n.endswith(".part")],
          "one input refused: no file: %r %r" % (said, err))
    status, said, _ = run([tools["png2pcx"], "--dcx", path("out.dcx"), names[0]])
    check(status == 0 and "kept" in said and open(path("out.dcx"), "rb").read() == data, "an existing file is kept")


CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "dcx_corpus")


def first_line(args):
    """The first line a program prints, or "" when it cannot be run."""
    try:
        done = subprocess.run(args, capture_output=True, text=True, timeout=30)
    except OSError:
        return ""
    said = done.stdout or done.stderr
    return said.splitlines()[0] if said else ""


def group_dcx_corpus(tools, work):
    """Every page of the checked-in peers' files (dcx_corpus/make_corpus.py)
    decodes to the pixels the peer that wrote it reads back (ImageMagick's
    black-and-white page: as netpbm and Pillow read it, see there); a cut
    copy of the fax keeps its first page and names the second damaged."""
    Image = pillow()
    if Image is None:
        return SKIP
    for name, pages in (("mixed", 4), ("fax", 2)):
        out = os.path.join(work, name)
        status, said, err = run([tools["pcx2png"], "-j", "2", "-o", out, os.path.join(CORPUS, name + ".dcx")])
        check(status == 0 and err == "", "%s.dcx converted: %r %r" % (name, said, err))
        for page in range(1, pages + 1):
            ours = Image.open(os.path.join(out, "%s-%d.png" % (name, page))).convert("RGB")
            theirs = Image.open(os.path.join(CORPUS, "%s-%d.png" % (name, page))).convert("RGB")
            check(ours.size == theirs.size and ours.tobytes() == theirs.tobytes(),
                  "%s.dcx page %d as its writer reads it" % (name, page))
    data = open(os.path.join(CORPUS, "fax.dcx"), "rb").read()
    second = struct.unpack("<I", data[8:12])[0]
    with open(os.path.join(work, "cut.dcx"), "wb") as f:
        f.write(data[:second + 128 + 9000])
    status, said, err = run([tools["pcx2png"], "-o", os.path.join(work, "cut"), os.path.join(work, "cut.dcx")])
    first = Image.open(os.path.join(work, "cut", "cut-1.png")).convert("RGB").tobytes()
    check(status == 0 and "2 converted (1 of them with damage)" in said and "cut.dcx page 2: converted with damage: "
          "the data ends before the last row" in err and
          first == Image.open(os.path.join(CORPUS, "fax-1.png")).convert("RGB").tobytes(),
          "a fax cut in its second page: the first whole, the second named: %r %r" % (said, err))


def group_dcx_peers(tools, work):
    """png2pcx --dcx read page for page by ImageMagick, and by Pillow where
    Pillow can (it looks for a page's 256 colours at the end of the whole
    file, and fails on every 256-colour page: "unrecognized image mode")."""
    Image = pillow()
    if Image is None:
        return SKIP
    if not first_line(["convert", "-version"]).startswith("Version: ImageMagick"):
        print("no ImageMagick (its version line does not say so): skipped")
        return SKIP
    pictures = []
    for i, (mode, size) in enumerate((("RGB", (40, 30)), ("L", (64, 48)), ("1", (33, 17)), ("P", (70, 46)))):
        picture = Image.new("RGB", size)
        picture.putdata([((x * 37 + i * 50) % 256, (y * 23) % 256, (x * y + 90) % 256)
                         for y in range(size[1]) for x in range(size[0])])
        picture = picture.convert(mode) if mode != "P" else picture.quantize(100)
        pictures.append(picture)
        picture.save(os.path.join(work, "p%d.png" % i))
    target = os.path.join(work, "out.dcx")
    status, said, _ = run([tools["png2pcx"], "--dcx", target] + [os.path.join(work, "p%d.png" % i)
                                                                 for i in range(len(pictures))])
    check(status == 0, "png2pcx --dcx: %r" % said)
    expected = [p.convert("RGB").tobytes() for p in pictures]
    for i in range(len(pictures)):
        back = os.path.join(work, "im-%d.png" % i)
        subprocess.run(["convert", "%s[%d]" % (target, i), "-depth", "8", "PNG24:" + back], capture_output=True)
        got = Image.open(back).convert("RGB").tobytes() if os.path.exists(back) else b""
        # ImageMagick 6 reads every 1-bit, one-plane picture with its bits
        # inverted (netpbm's too), and so its pages.
        want = bytes(255 - v for v in expected[i]) if pictures[i].mode == "1" else expected[i]
        check(got == want, "ImageMagick reads page %d as its PNG" % (i + 1))
    frames = Image.open(target)
    check(frames.n_frames == len(pictures), "Pillow counts %d pages (%d)" % (len(pictures), frames.n_frames))
    for i in (0, 2):  # the true-colour page and the black-and-white one, whose colours are in their headers
        frames.seek(i)
        check(frames.convert("RGB").tobytes() == expected[i], "Pillow reads page %d as its PNG" % (i + 1))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for name in ("pcxcheck", "pcx2png", "png2pcx"):
        parser.add_argument("--" + name, help="the %s program" % name)
    parser.add_argument("group")
    args = parser.parse_args()
    tools = {name: getattr(args, name) for name in ("pcxcheck", "pcx2png", "png2pcx")}
    groups = {name[len("group_"):].replace("_", "-"): f for name, f in globals().items() if name.startswith("group_")}
    if args.group not in groups:
        sys.exit("pcx_tools_test.py: no group %r; the groups are %s" % (args.group, ", ".join(sorted(groups))))
    with tempfile.TemporaryDirectory() as work:
        status = groups[args.group](tools, work)
    if status == SKIP:
        return SKIP
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
