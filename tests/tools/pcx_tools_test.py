#!/usr/bin/env python3
"""The PCX tools run as people run them, one group of checks at a time:

  pcx_tools_test.py --pcxcheck PATH --pcx2png PATH --png2pcx PATH GROUP

Groups: check-statuses, check-golden, damage (pcxcheck, and pcx2png when
given), pcx2png-statuses (pcx2png),
png2pcx-statuses, round-trip, peers (both converters). A group that needs
Pillow or netpbm ends with status 77 (skipped) without them.
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
SKIP = 77


def rle(line):
    """One line run-length encoded, runs stopping at the line's end."""
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
    data = b"".join(rle(line) for line in lines)
    body = header.ljust(128, b"\0") + data
    if cut is not None:
        body = body[:128 + cut]
    return body + (b"\x0c" + trailer if trailer is not None else b"")


def ramp_trailer():
    return bytes(v for i in range(256) for v in (i, 255 - i, i // 2))


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
    # Four jobs share a budget that holds one picture at a time: they take
    # turns (no deadlock), and only the larger picture is refused.
    got, said, err = run([pcx2png, "-j", "4", "--max-pixels", "15", "-o", path("o7"), path("a-whole.pcx"),
                          path("b-odd.pcx"), path("c-cut.pcx"), path("d-sixteen.pcx")])
    check(got == 1 and said == "pcx2png: 4 files: 2 converted (0 of them with damage), 0 kept, 2 refused, 0 failed\n" and
          "c-cut.pcx: refused: 7 x 4 pixels, more than --max-pixels 15" in err and
          "d-sixteen.pcx: refused: 32 x 2 pixels" in err, "pcx2png: jobs within the budget: %r %r" % (said, err))
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
