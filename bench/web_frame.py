#!/usr/bin/env python3
"""The demo's web page in headless Chromium: download size, time to the
first frame, and main-thread CPU time per frame.

  bench/web_frame.py [--pages build-web/web] [--size 1920x1080] [--loads 5] [--seconds 4]

Build the pages first (scripts/web --no-serve). CPU per frame is the
browser's own count of main-thread task time (DevTools Performance metrics
TaskDuration) over the frames the page drew meanwhile, and the part of it
the program itself ran (composing the frame, stretching it onto the client
area and putting it on the canvas: Module.standin.busyMs); first-frame times are
from asking for the page to the first frame on its canvas, served from
127.0.0.1. Medians of the loads are printed, with each run's numbers.
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


def one_load(server, width, height, seconds):
    browser = Browser()
    try:
        browser.page("Performance.enable")
        browser.open(server.url + "index.html", width, height)
        first = browser.wait_for("demo.firstFrameMs")
        # Let start-up settle, then count over a stretch of frames.
        browser.wait_for("demo.frame >= 30")
        state = "[demo.frame, Module.standin.busyMs]"
        before, (frame0, busy0) = metrics(browser), browser.evaluate(state)
        start = time.monotonic()
        time.sleep(seconds)
        after, (frame1, busy1) = metrics(browser), browser.evaluate(state)
        elapsed = time.monotonic() - start
    finally:
        browser.close()
    frames = frame1 - frame0
    return {
        "first_ms": first,
        "task_ms": 1000 * (after["TaskDuration"] - before["TaskDuration"]) / frames,
        "program_ms": (busy1 - busy0) / frames,
        "fps": frames / elapsed,
    }


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pages", default=os.path.join(here, "..", "build-web", "web"))
    parser.add_argument("--size", default="1920x1080")
    parser.add_argument("--loads", type=int, default=5)
    parser.add_argument("--seconds", type=float, default=4)
    args = parser.parse_args()
    try:
        width, height = (int(v) for v in args.size.split("x"))
    except ValueError:
        sys.exit("web_frame.py: --size takes WIDTHxHEIGHT, for example 1920x1080")
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
    runs = []
    try:
        for i in range(args.loads):
            run = one_load(server, width, height, args.seconds)
            runs.append(run)
            print("load %d at %dx%d: first frame %.0f ms; per frame %.2f ms main thread, %.2f ms program; %.1f frames/s" %
                  (i + 1, width, height, run["first_ms"], run["task_ms"], run["program_ms"], run["fps"]), flush=True)
    finally:
        server.close()
    print("median of %d: first frame %.0f ms; per frame %.2f ms main thread, %.2f ms program; %.1f frames/s" %
          (len(runs), statistics.median(r["first_ms"] for r in runs), statistics.median(r["task_ms"] for r in runs),
           statistics.median(r["program_ms"] for r in runs), statistics.median(r["fps"] for r in runs)))


if __name__ == "__main__":
    main()
