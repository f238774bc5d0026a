#!/usr/bin/env python3
"""The demo's web page in headless Chromium: download size, time to the
first frame, and main-thread CPU time per frame, three ways, loads of them
taking turns: as the page chooses ("page": the program in a worker, drawing
on the canvas itself; here, where WebGL2 is drawn without a GPU, through
the 2D context, the frame stretched in WebAssembly), through WebGL2 in the
worker (?present=webgl2: the GPU, here SwiftShader, stretches each frame),
and the program on the page's own thread through the 2D context
(?thread=main&present=2d, as a browser that cannot hand a canvas to a
worker runs it).

  bench/web_frame.py [--pages build-web/web] [--size 1920x1080,3840x2160] [--loads 3] [--seconds 4]

Build the pages first (scripts/web --no-serve). CPU per frame is the
browser's own count of main-thread task time (DevTools Performance metrics
TaskDuration) over the frames the page drew meanwhile, and the time the
program itself ran (composing the frame, stretching it onto the client
area and putting it on the canvas: demo.busyMs), on whichever thread it
runs; first-frame times are from asking for the page to the first frame on
its canvas, served from 127.0.0.1. Medians of the loads are printed, with
each run's numbers.
"""

import argparse
import gzip
import os
import statistics
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from chromium import Browser, Server  # noqa: E402


def metrics(browser):
    values = browser.page("Performance.getMetrics")["metrics"]
    return {m["name"]: m["value"] for m in values}


# name: (query, the path and thread the page must then draw with)
WAYS = {
    "page": ("", ("2d", "worker")),
    "webgl2": ("?present=webgl2", ("webgl2", "worker")),
    "2d main": ("?thread=main&present=2d", ("2d", "main")),
}


def one_load(server, width, height, seconds, way):
    query, expected = WAYS[way]
    browser = Browser()
    try:
        browser.page("Performance.enable")
        browser.open(server.url + "index.html" + query, width, height)
        first = browser.wait_for("demo.firstFrameMs")
        # Let start-up settle, then count over a stretch of frames.
        browser.wait_for("demo.frame >= 30")
        state = "[demo.frame, demo.busyMs]"
        before, (frame0, busy0) = metrics(browser), browser.evaluate(state)
        start = time.monotonic()
        time.sleep(seconds)
        after, (frame1, busy1) = metrics(browser), browser.evaluate(state)
        elapsed = time.monotonic() - start
        shown = tuple(browser.evaluate("[demo.path, demo.thread]"))
    finally:
        browser.close()
    frames = frame1 - frame0
    if shown != expected:
        sys.exit("web_frame.py: the page drew through %s on the %s thread, not as %r expects" % (*shown, way))
    return {
        "first_ms": first,
        "task_ms": 1000 * (after["TaskDuration"] - before["TaskDuration"]) / frames,
        "program_ms": (busy1 - busy0) / frames,
        "fps": frames / elapsed,
    }


def line(what, width, height, way, run):
    return ("%s at %dx%d, %-7s: first frame %.0f ms; per frame %.2f ms main thread, %.2f ms program; "
            "%.1f frames/s" % (what, width, height, way, run["first_ms"], run["task_ms"], run["program_ms"],
                               run["fps"]))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pages", default=os.path.join(here, "..", "build-web", "web"))
    parser.add_argument("--size", default="1920x1080,3840x2160", help="client sizes, WIDTHxHEIGHT, comma apart")
    parser.add_argument("--loads", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=4)
    args = parser.parse_args()
    try:
        sizes = [tuple(int(v) for v in size.split("x")) for size in args.size.split(",")]
        if any(len(size) != 2 or min(size) < 1 for size in sizes):
            raise ValueError
    except ValueError:
        sys.exit("web_frame.py: --size takes WIDTHxHEIGHT sizes, comma apart, for example 1920x1080,3840x2160")
    if args.loads < 1 or args.seconds <= 0:
        sys.exit("web_frame.py: --loads takes a whole number from 1, --seconds a time above 0")
    if not os.path.exists(os.path.join(args.pages, "index.html")):
        sys.exit("web_frame.py: no %s/index.html; build the pages with scripts/web --no-serve" % args.pages)

    total = total_gz = 0
    for name in ("scaling-scrolling.js", "scaling-scrolling.wasm", "scaling-scrolling.data"):
        data = open(os.path.join(args.pages, name), "rb").read()
        packed = len(gzip.compress(data, 9))
        note = "  (the pictures, not counted)" if name.endswith(".data") else ""
        if not note:
            total += len(data)
            total_gz += packed
        print("%-24s %8d bytes, %7d gzipped%s" % (name, len(data), packed, note))
    print("%-24s %8d bytes, %7d gzipped" % ("script + WebAssembly", total, total_gz))

    server = Server(args.pages)
    try:
        for width, height in sizes:
            runs = {way: [] for way in WAYS}
            for i in range(args.loads):
                for way in runs:
                    run = one_load(server, width, height, args.seconds, way)
                    runs[way].append(run)
                    print(line("load %d" % (i + 1), width, height, way, run), flush=True)
            for way, done in runs.items():
                median = {key: statistics.median(r[key] for r in done) for key in done[0]}
                print(line("median of %d" % len(done), width, height, way, median), flush=True)
    finally:
        server.close()


if __name__ == "__main__":
    main()
