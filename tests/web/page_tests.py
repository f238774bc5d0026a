#!/usr/bin/env python3
"""Checks the web pages in headless Chromium, served from 127.0.0.1.

  page_tests.py --pages build-web/web --pictures build-web/demo \
                --recorder build/tools/record/scaling-scrolling-record

The demo page must run its program in a worker, and show, at a known frame,
exactly the recorder's frame for the same client size (through WebGL2, in
the browser's software GL, at sizes from 320 x 200 to 3840 x 2160, one of
them at two device pixels per CSS pixel; through the 2D canvas in a browser
without WebGL with the program on the page's own thread, as the page
chooses in software GL with it in a worker, and after the WebGL2 context is
lost), say in its bar which way frames go, go to full screen and back with
F, F11 and Esc, move on between two frames, follow the page's size and end
with status 0 when the page goes away. The viewer must show the project's
pictures (and a true-colour one, and one of 256 distinct colours) pixel for
pixel at their own size, name the damage of a file cut short while showing
the rows it held, and name the reason for files the codec refuses; and
show the pages of a multi-page file as it shows the pictures, turn them
with its buttons and keys, and name a page lost or cut short.
"""

import argparse
import base64
import io
import os
import subprocess
import sys
import tempfile

from PIL import Image

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from chromium import NO_GL, Browser, Server  # noqa: E402

# An odd, asymmetric client size: the frame is stretched unevenly both ways.
WIDTH, HEIGHT = 333, 217
FRAMES = (12, 40)
# Further client sizes for the GPU's stretch (CSS width, height, device
# pixels per CSS pixel): one to one, odd enlargements, 1080p on a
# high-density screen, 4K.
SIZES = ((320, 200, 1), (1279, 719, 1), (960, 540, 2), (3840, 2160, 1))
SIZE_FRAME = 6

failures = []
passes = 0


def check(condition, what):
    global passes
    if condition:
        passes += 1
        print("ok    " + what)
    else:
        failures.append(what)
        print("FAIL  " + what)


def canvas_pixels(browser):
    """The page's canvas as RGBA bytes (base64 on the way, made by the
    browser's own encoder), read back from WebGL2 or the 2D context,
    whichever the page draws with, in the demo's worker or on the page."""
    return browser.evaluate("""(async () => {
      const got = typeof demo === 'object' ? await demo.readback() :
          {width: Module.canvas.width, height: Module.canvas.height, rgba: Module.standin.readback()};
      const url = await new Promise(done => {
        const reader = new FileReader();
        reader.onload = () => done(reader.result);
        reader.readAsDataURL(new Blob([got.rgba]));
      });
      return {width: got.width, height: got.height, rgba: url.slice(url.indexOf(',') + 1)};
    })()""", timeout=120)


def canvas_of(value):
    return value["width"], value["height"], base64.b64decode(value["rgba"])


def differences(rgba, image):
    """How many pixels differ, and where the first one is."""
    expected = image.convert("RGBA").tobytes()
    if len(expected) != len(rgba):
        return -1, None
    if Image.frombytes("RGBA", image.size, rgba).convert("RGB").tobytes() == image.convert("RGB").tobytes():
        return 0, None
    count, first = 0, None
    for i in range(0, len(rgba), 4):
        if rgba[i:i + 3] != expected[i:i + 3]:
            count += 1
            if first is None:
                first = (i // 4 % image.width, i // 4 // image.width)
    return count, first


def same_picture(what, value, image):
    width, height, rgba = canvas_of(value)
    if (width, height) != image.size:
        check(False, "%s: canvas %dx%d, expected %dx%d" % (what, width, height, *image.size))
        return
    count, first = differences(rgba, image)
    check(count == 0, "%s: %s" % (what, "same pixels" if count == 0 else
                                  "%d pixels differ, the first at %s" % (count, first)))


def record(recorder, folder, width, height, frames):
    subprocess.run([recorder, "--client", "%dx%d" % (width, height), "--frames", str(frames), "--png-dir", folder],
                   check=True, timeout=300)
    return lambda n: Image.open(os.path.join(folder, "frame-%04d.png" % n))


def bar_says(browser, path, words):
    text = browser.evaluate("document.getElementById('path').textContent")
    check(browser.evaluate("demo.path") == path and words in text, "demo's bar says how frames go: %s" % text)


def demo_page(browser, url, pages, frames):
    """At the odd size: frame 12 through WebGL2, frame 40 through the 2D
    canvas the page turns to when its WebGL2 context is lost."""
    # The canvas's first picture is the window's first paint, before any
    # frame: picture n + 1 is frame n.
    browser.open(url + "index.html?present=webgl2&hold=" + ",".join(str(n + 1) for n in FRAMES), WIDTH, HEIGHT)
    shown = []
    for n in FRAMES:
        browser.wait_for("demo.held === %d" % (n + 1))
        if n == FRAMES[0]:
            bar_says(browser, "webgl2", "WebGL2")
        else:
            bar_says(browser, "2d", "the WebGL2 context was lost")
        shown.append(canvas_pixels(browser))
        same_picture("demo frame %d (%s) against the recorder's" % (n, browser.evaluate("demo.path")), shown[-1],
                     frames(n))
        if n == FRAMES[0]:
            browser.evaluate("demo.loseContext(), 0")
            browser.wait_for("demo.path === '2d'")
        browser.evaluate("demo.resume()")
    check(canvas_of(shown[0])[2] != canvas_of(shown[1])[2], "demo frames %d and %d differ" % FRAMES)
    print("      first frame %.0f ms after the page was asked for" % browser.evaluate("demo.firstFrameMs"))
    print("      script + WebAssembly: %d bytes" % sum(
        os.path.getsize(os.path.join(pages, "scaling-scrolling" + ext)) for ext in (".js", ".wasm")))

    browser.resize(WIDTH - 100, HEIGHT - 90)
    check(browser.wait_for("demo.width === %d && demo.height === %d && demo.frame > %d" %
                           (WIDTH - 100, HEIGHT - 90, FRAMES[-1] + 2)),
          "demo canvas follows the page to %dx%d" % (WIDTH - 100, HEIGHT - 90))

    browser.evaluate("window.dispatchEvent(new Event('pagehide')), 0")
    check(browser.wait_for("demo.exitStatus !== null") and browser.evaluate("demo.exitStatus") == 0,
          "demo ends with status 0 when the page goes away")


def press(browser, key, code, keycode):
    for kind in ("keyDown", "keyUp"):
        browser.page("Input.dispatchKeyEvent", type=kind, key=key, code=code, windowsVirtualKeyCode=keycode)


def full_screen_keys(browser):
    """F enters full screen and leaves it; Esc leaves it too."""
    entered = "document.fullscreenElement !== null"
    press(browser, "f", "KeyF", 70)
    check(browser.wait_for(entered, timeout=5), "F puts the demo in full screen")
    press(browser, "f", "KeyF", 70)
    check(browser.wait_for("!(%s)" % entered, timeout=5), "F again leaves full screen")
    press(browser, "F11", "F11", 122)
    browser.wait_for(entered, timeout=5)
    press(browser, "Escape", "Escape", 27)
    check(browser.wait_for("!(%s)" % entered, timeout=5), "F11 enters full screen and Esc leaves it")


def demo_sizes(browser, url, recorder):
    """The GPU's stretch against the recorder's at each size. Unasked, the
    page keeps to the 2D canvas where WebGL2 is drawn in software."""
    with tempfile.TemporaryDirectory() as folder:
        frames = record(recorder, folder, 320, 200, SIZE_FRAME)
        browser.open(url + "index.html?hold=%d" % (SIZE_FRAME + 1), 320, 200)
        browser.wait_for("demo.held === %d" % (SIZE_FRAME + 1), timeout=60)
        bar_says(browser, "2d", "without a GPU")
        check(browser.evaluate("demo.thread") == "worker", "demo's program runs in a worker")
        same_picture("demo frame %d at 320x200 as the page chose (2D canvas, worker) against the recorder's" %
                     SIZE_FRAME, canvas_pixels(browser), frames(SIZE_FRAME))
        browser.evaluate("demo.resume()")
    full_screen_keys(browser)
    for width, height, ratio in SIZES:
        client = (width * ratio, height * ratio)
        with tempfile.TemporaryDirectory() as folder:
            frames = record(recorder, folder, *client, SIZE_FRAME)
            browser.open(url + "index.html?present=webgl2&hold=%d" % (SIZE_FRAME + 1), width, height, ratio)
            browser.wait_for("demo.held === %d" % (SIZE_FRAME + 1), timeout=60)
            what = "demo frame %d at %dx%d%s" % (SIZE_FRAME, *client, " (%d device pixels a CSS pixel)" % ratio
                                                  if ratio > 1 else "")
            check(browser.evaluate("demo.path") == "webgl2", what + " drawn through WebGL2")
            same_picture(what + " against the recorder's", canvas_pixels(browser), frames(SIZE_FRAME))


def demo_without_gl(browser, url, frames):
    """A browser without WebGL: the 2D canvas, said in the bar, same pixels,
    with the program on the page's own thread (as where a canvas cannot be
    handed to a worker; the browser's switch takes WebGL from pages, not
    from workers)."""
    n = FRAMES[0]
    browser.open(url + "index.html?present=webgl2&hold=%d&thread=main" % (n + 1), WIDTH, HEIGHT)
    browser.wait_for("demo.held === %d" % (n + 1))
    check(browser.evaluate("demo.thread") == "main", "demo's program runs on the page's thread when asked")
    bar_says(browser, "2d", "no WebGL2")
    same_picture("demo frame %d without WebGL (on the page's thread) against the recorder's" % n,
                 canvas_pixels(browser), frames(n))


def demo_without_worker(browser, pages):
    """Pages served without the worker's script: the program runs on the
    page's own thread, and draws."""
    with tempfile.TemporaryDirectory() as folder:
        for name in os.listdir(pages):
            if name != "demo-worker.js":
                os.symlink(os.path.abspath(os.path.join(pages, name)), os.path.join(folder, name))
        server = Server(folder)
        try:
            browser.open(server.url + "index.html", WIDTH, HEIGHT)
            check(browser.wait_for("demo.frame > 2 && demo.thread") == "main",
                  "demo runs on the page's thread when its worker cannot start")
        finally:
            server.close()


def open_in_viewer(browser, name, data):
    encoded = base64.b64encode(data).decode()
    return browser.evaluate("viewer.open(%r, Uint8Array.from(atob('%s'), c => c.charCodeAt(0)))" % (name, encoded))


def viewer_page(browser, url, pictures):
    # Through WebGL2: the background is a whole-window 8-bit stretch the GPU
    # would draw, the picture over it one the CPU draws.
    browser.open(url + "viewer.html?present=webgl2", 64, 48)
    browser.wait_for("viewer.ready")
    check(browser.evaluate("Module.standin.mode") == "webgl2", "viewer draws through WebGL2")

    true_colour = Image.new("RGB", (7, 5))
    true_colour.putdata([(x * 37 % 256, y * 51 % 256, (x * y * 29 + 7) % 256) for y in range(5) for x in range(7)])
    buffer = io.BytesIO()
    true_colour.save(buffer, "PCX")
    samples = [(name, open(os.path.join(pictures, name), "rb").read()) for name in ("SKY.PCX", "LOGO1.PCX", "LOGO2.PCX")]
    samples.append(("true-colour.pcx", buffer.getvalue()))
    # Every one of 256 colours, 20 of them among the 20 a palette shared
    # with the display keeps for itself: none may be merged.
    full = Image.new("P", (17, 16))
    full.putpalette([v for i in range(256) for v in (i, (i * 97) % 256, 255 - i)])
    full.putdata([(i * 13) % 256 for i in range(17 * 16)])
    buffer = io.BytesIO()
    full.save(buffer, "PCX")
    samples.append(("all-colours.pcx", buffer.getvalue()))

    for name, data in samples:
        image = Image.open(io.BytesIO(data)).convert("RGB")
        # At the picture's own size the stretch is one to one.
        browser.resize(*image.size)
        browser.wait_for("Module.canvas.width === %d && Module.canvas.height === %d" % image.size)
        report = open_in_viewer(browser, name, data)
        colours = "true colour" if image.mode == "RGB" and name.startswith("true") else "256 colours"
        check(report["shown"] and report["text"] == "%d x %d pixels, %s" % (*image.size, colours),
              "viewer reports %s: %s" % (name, report["text"]))
        same_picture("viewer shows %s" % name, canvas_pixels(browser), image)

    sky = samples[0][1]
    damaged_picture(browser, sky)
    multi_page(browser, samples[:3])
    for name, data, reason in (("text.pcx", b"this is not a picture", "PCX_BAD_HEADER"),
                               # Lines of one byte cannot hold 640 pixels.
                               ("short-lines.pcx", sky[:66] + b"\x01\x00" + sky[68:], "PCX_BAD_LAYOUT")):
        report = open_in_viewer(browser, name, data)
        status = browser.evaluate("document.getElementById('status').textContent")
        check(not report["shown"] and reason in report["text"] and status == report["text"],
              "viewer refuses %s and says why: %s" % (name, status))


def whole_rows(data):
    """Rows of a 1-plane 8-bit PCX file its data holds whole, decoded here."""
    line = data[66] | data[67] << 8
    height = (data[10] | data[11] << 8) - (data[6] | data[7] << 8) + 1
    at, got = 128, 0
    while at < len(data):
        count = data[at] & 0x3F if data[at] >= 0xC0 else 1
        at += 2 if data[at] >= 0xC0 else 1
        if at > len(data):
            break
        got += count
    return min(got // line, height)


def damaged_picture(browser, sky):
    """The sky cut at 2000 bytes: shown with its rows in greys (the trailer
    and its colours are gone: index i as i, i, i), and both damages named."""
    cut = sky[:2000]
    rows = whole_rows(cut)
    indexed = Image.open(io.BytesIO(sky))  # the whole picture's indices
    expected = Image.new("RGB", indexed.size)
    expected.putdata([(i, i, i) for i in indexed.getdata()])
    browser.resize(*indexed.size)
    browser.wait_for("Module.canvas.width === %d && Module.canvas.height === %d" % indexed.size)
    report = open_in_viewer(browser, "cut.pcx", cut)
    words = ("damaged: the data ends before the last row (after row %d of %d); "
             "damaged: the 256-colour trailer is missing" % (rows, indexed.height))
    check(report["shown"] and report["damaged"] and words in report["text"],
          "viewer names the damage of a cut file: %s" % report["text"])
    width, height, rgba = canvas_of(canvas_pixels(browser))
    row = width * 4
    above = Image.frombytes("RGBA", (width, rows), rgba[:rows * row])
    count, _ = differences(above.tobytes(), expected.crop((0, 0, width, rows)))
    below = rgba[(rows + 1) * row:]
    check(rows > 0 and count == 0 and all(below[i:i + 3] == b"\0\0\0" for i in range(0, len(below), 4)),
          "viewer shows the %d rows it held and black below the partial row" % rows)


def dcx(pictures):
    """A multi-page file of the pictures, laid out as ImageMagick writes one:
    the mark, a table of offsets ended by a zero and padded to 1024 entries,
    then the pictures; with the offset of each."""
    offsets, at = [], 4 + 1024 * 4
    for data in pictures:
        offsets.append(at)
        at += len(data)
    table = b"".join(o.to_bytes(4, "little") for o in offsets).ljust(1024 * 4, b"\0")
    return (0x3ADE68B1).to_bytes(4, "little") + table + b"".join(pictures), offsets


def multi_page(browser, samples):
    """The three pictures in one file: each page reported and shown as the
    picture is, the page turned by the buttons and the keys, and a page lost
    or cut short named."""
    data, offsets = dcx([picture for _, picture in samples])
    count = len(samples)
    for n, (name, picture) in enumerate(samples, 1):
        image = Image.open(io.BytesIO(picture)).convert("RGB")
        browser.resize(*image.size)
        browser.wait_for("Module.canvas.width === %d && Module.canvas.height === %d" % image.size)
        if n == 1:
            report = open_in_viewer(browser, "three.dcx", data)
        else:
            report = browser.evaluate("viewer.page(%d)" % n)
        want = "page %d of %d: %d x %d pixels, 256 colours" % (n, count, *image.size)
        check(report["shown"] and not report["damaged"] and report["text"] == want and
              (report["page"], report["pages"]) == (n, count), "viewer reports %s as %s" % (name, report["text"]))
        same_picture("viewer shows page %d (%s)" % (n, name), canvas_pixels(browser), image)

    def turned(key, code, keycode, n):
        if code is None:
            browser.evaluate("document.getElementById('%s').click(), 0" % key)
        else:
            press(browser, key, code, keycode)
        label = "page %d of %d" % (n, count)
        return browser.wait_for("document.getElementById('page').textContent === %r && "
                                "document.getElementById('status').textContent.startsWith(%r)" % (label, label + ":"))
    check(turned("prev", None, 0, 2), "the previous-page button turns to page 2")
    check(turned("ArrowLeft", "ArrowLeft", 37, 1), "the left arrow turns to page 1")
    check(browser.evaluate("document.getElementById('prev').disabled"), "no previous page before page 1")
    check(turned("PageDown", "PageDown", 34, 2), "Page Down turns to page 2")
    check(turned("End", "End", 35, 3), "End turns to the last page")
    check(turned("Home", "Home", 36, 1), "Home turns to the first page")

    last = offsets[-1]
    lost = open_in_viewer(browser, "lost.dcx", data[:last + 50])
    words = "page %d of %d: lost: a page starts past the end of the file" % (count, count)
    first_page = lost["shown"] and lost["text"].startswith("page 1 of %d: " % count)
    check(first_page and "damaged" not in lost["text"], "a file cut before its last page opens at page 1: %s" %
          lost["text"])
    report = browser.evaluate("viewer.page(%d)" % count)
    check(not report["shown"] and report["damaged"] and report["text"].startswith(words),
          "viewer names the lost page: %s" % report["text"])
    report = open_in_viewer(browser, "cut.dcx", data[:last + 1500])
    report = browser.evaluate("viewer.page(%d)" % count)
    words = "page %d of %d: %d x %d pixels, 256 colours; damaged: the data ends before the last row" % (
        count, count, *Image.open(io.BytesIO(samples[-1][1])).size)
    check(report["shown"] and report["damaged"] and report["text"].startswith(words),
          "viewer names the damage of a page cut short: %s" % report["text"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pages", required=True, help="folder of index.html and viewer.html")
    parser.add_argument("--pictures", required=True, help="folder of SKY.PCX, LOGO1.PCX, LOGO2.PCX")
    parser.add_argument("--recorder", required=True, help="the scaling-scrolling-record program")
    args = parser.parse_args()
    for path in (os.path.join(args.pages, "index.html"), os.path.join(args.pictures, "SKY.PCX"), args.recorder):
        if not os.path.exists(path):
            sys.exit("page_tests.py: %s is missing" % path)

    server = Server(args.pages)
    frames_dir = tempfile.TemporaryDirectory()
    try:
        frames = record(args.recorder, frames_dir.name, WIDTH, HEIGHT, FRAMES[-1])
        for test, flags in ((lambda b: demo_page(b, server.url, args.pages, frames), None),
                            (lambda b: demo_without_gl(b, server.url, frames), NO_GL),
                            (lambda b: demo_without_worker(b, args.pages), None),
                            (lambda b: demo_sizes(b, server.url, args.recorder), None),
                            (lambda b: viewer_page(b, server.url, args.pictures), None)):
            browser = Browser() if flags is None else Browser(flags=flags)
            try:
                test(browser)
            except Exception as error:  # a page that never got there
                check(False, "%s: %s" % (type(error).__name__, error))
            finally:
                browser.close()
    finally:
        server.close()
        frames_dir.cleanup()
    print("%d passed, %d failed" % (passes, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
