"""Two threads agree with one, and random mutations of real pictures never
bring the interpreter down: every call returns pixels or raises PcxError."""
import concurrent.futures
import sys
import threading
import time
import warnings

import numpy

import raster_pcx
from conftest import small_picture, true_colour_picture


def pictures():
    rng = numpy.random.default_rng(11)
    smooth = (numpy.arange(300 * 257) // 97 % 256).astype(numpy.uint8).reshape(300, 257)
    palette = rng.integers(0, 256, (256, 3), dtype=numpy.uint8)
    return [
        raster_pcx.encode(smooth, palette),
        raster_pcx.encode(numpy.dstack([smooth, smooth[::-1], smooth * 3])),
        raster_pcx.encode(rng.integers(0, 16, (64, 61), dtype=numpy.uint8), palette[:16]),
        small_picture(), true_colour_picture(4),
    ]


def decode_all(data):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", raster_pcx.DamageWarning)
        return [raster_pcx.decode(d, "rgba") for d in data]


def test_two_threads_agree_with_one():
    data = pictures() * 20
    alone = decode_all(data)
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        halves = list(pool.map(decode_all, [data[0::2], data[1::2]]))
    assert all(numpy.array_equal(a, b) for a, b in zip(alone[0::2], halves[0]))
    assert all(numpy.array_equal(a, b) for a, b in zip(alone[1::2], halves[1]))


def test_mutated_pictures_decode_or_are_refused():
    rng = numpy.random.default_rng(2024)
    outcomes = {"decoded": 0, "refused": 0}
    for original in pictures():
        for _ in range(150):
            data = bytearray(original)
            for _ in range(int(rng.integers(1, 8))):
                data[int(rng.integers(0, len(data)))] = int(rng.integers(0, 256))
            if rng.integers(0, 4) == 0:
                del data[int(rng.integers(0, len(data))):]
            try:
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore", raster_pcx.DamageWarning)
                    picture = raster_pcx.read(bytes(data))
                    raster_pcx.inspect(bytes(data))
                facts = picture.facts
                channels = 1 if picture.pixels.ndim == 2 else picture.pixels.shape[2]
                assert picture.pixels.shape[:2] == (facts.height, facts.width) and channels in (1, 3, 4)
                outcomes["decoded"] += 1
            except raster_pcx.PcxError:
                outcomes["refused"] += 1
    assert outcomes["decoded"] > 0 and outcomes["refused"] > 0


def test_the_gil_is_let_go_while_the_codec_runs():
    # Another thread counts while this one is inside one decode. With a
    # long switch interval the counter can only move during the call when
    # the call lets the GIL go; the counter yields it often, so that this
    # thread gets it back at once afterwards.
    rng = numpy.random.default_rng(5)
    data = raster_pcx.encode(rng.integers(0, 256, (1024, 1024, 3), dtype=numpy.uint8))
    out = numpy.empty((1024, 1024, 4), numpy.uint8)
    counter, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            counter[0] += 1
            if counter[0] % 64 == 0:
                time.sleep(0)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(2.0)
    counting = threading.Thread(target=count)
    counting.start()
    try:
        moved = 0
        for _ in range(20):
            before = counter[0]
            result, _ = raster_pcx._codec.decode(data, 4, out, 1024 * 4)
            moved = counter[0] - before
            if moved:
                break
    finally:
        stop.set()
        counting.join()
        sys.setswitchinterval(interval)
    assert result == raster_pcx._codec.OK
    assert moved > 0
