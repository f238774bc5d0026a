"""raster_pcx.archive against the tools themselves: what it prints and writes
for a folder is compared with what pcxcheck and pcx2png print and write for
the same folder. Every cluster here is a LocalCluster on the loopback
address, bounded in time and closed by the test that made it."""
import io
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

import pytest

from conftest import SMALL_ROWS, pcx, ramp_trailer, small_picture, true_colour_picture

from raster_pcx import archive

RUN_SECONDS = 120


def tool(name):
    path = os.environ.get("RASTER_" + name.upper()) or shutil.which(name)
    if not path:
        pytest.skip(name + " is not built (RASTER_%s names none) nor on PATH" % name.upper())
    return path


def noisy_picture(seed, width, height, planes):
    """Pixels from a small generator (runs and noise), so that files differ
    in size and compress unevenly."""
    bpl = width + (width & 1)
    state, lines = seed * 2654435761 % 2**32, []
    for _ in range(height):
        line = bytearray()
        for _ in range(planes):
            row = bytearray()
            while len(row) < width:
                state = (state * 1103515245 + 12345) % 2**31
                row += bytes((state >> 16) & 0xFF for _ in range(1 + (state >> 8) % 3)) * (1 + state % 7)
            line += row[:width].ljust(bpl, b"\0")
        lines.append(bytes(line))
    return pcx(width, height, 8, planes, lines, bpl, trailer=ramp_trailer() if planes == 1 else None)


def make_folder(root):
    """Whole, noted, damaged and refused files, any case of the extension, in
    folders below folders, names with spaces and accents, an output name two
    inputs share, and a file of another kind."""
    files = {
        "a.pcx": small_picture(),
        "a.PCX": small_picture(trailer=None),
        "cut short.pcx": small_picture(cut=5),
        "odd/padded.pcx": pcx(5, 3, 8, 1, [row[:5] for row in SMALL_ROWS], 5, trailer=ramp_trailer()),
        "odd/été.pcx": true_colour_picture(3),
        "odd/four planes.pcx": true_colour_picture(4),
        "odd/deeper/not a picture.pcx": b"a text, not a picture\n" * 9,
        "odd/deeper/notes.txt": b"not listed",
    }
    for seed in range(12):
        files["many/%02d.pcx" % seed] = noisy_picture(seed, 40 + 13 * seed, 9 + seed, 1 + seed % 4)
    for name, data in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return root


def tree(folder):
    """Every file below folder, by its path below it, with its bytes."""
    return {str(path.relative_to(folder)): path.read_bytes() for path in sorted(folder.rglob("*")) if path.is_file()}


def tool_run(*command):
    return subprocess.run(command, capture_output=True, text=True, timeout=RUN_SECONDS)


@pytest.fixture(scope="module")
def folder(tmp_path_factory):
    return make_folder(tmp_path_factory.mktemp("archive") / "src")


@pytest.fixture(scope="module")
def client():
    with archive.cluster(workers=2) as made:
        yield made


def bounded(work, seconds=RUN_SECONDS):
    """work() on a thread of its own, failing the test when it takes longer
    than seconds (the cluster's closing then ends it)."""
    outcome = {}

    def run():
        try:
            outcome["value"] = work()
        except BaseException as error:  # handed to the test's own thread
            outcome["error"] = error

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    thread.join(seconds)
    assert not thread.is_alive(), "the run took more than %d seconds" % seconds
    if "error" in outcome:
        raise outcome["error"]
    return outcome["value"]


def test_check_prints_what_pcxcheck_prints_however_batched(folder, client):
    expected = tool_run(tool("pcxcheck"), "-r", str(folder))
    assert expected.returncode == 1  # the folder holds damaged and refused files
    summary = re.fullmatch(r"(\d+) files: (\d+) whole, (\d+) with notes only, (\d+) damaged, (\d+) refused",
                           expected.stdout.splitlines()[-1])
    for batch_bytes in (None, 1, 1 << 30):
        out = io.StringIO()
        counts = bounded(lambda: archive.check(str(folder), client, batch_bytes=batch_bytes, out=out))
        assert out.getvalue() == expected.stdout, batch_bytes
        assert counts == tuple(int(n) for n in summary.groups()[1:])


def test_check_takes_multi_page_files_as_pcxcheck_does(client, tmp_path):
    corpus = pathlib.Path(__file__).parents[1] / "tools" / "dcx_corpus"
    for dcx in sorted(corpus.glob("*.dcx")):
        shutil.copy(dcx, tmp_path / dcx.name.upper())
    (tmp_path / "single.pcx").write_bytes(small_picture())
    expected = tool_run(tool("pcxcheck"), "-r", str(tmp_path))
    out = io.StringIO()
    bounded(lambda: archive.check(str(tmp_path), client, out=out))
    assert out.getvalue() == expected.stdout
    assert "page" in out.getvalue()


def test_convert_writes_what_pcx2png_writes(folder, client, tmp_path):
    for alpha in ([], ["--alpha"]):
        ours, theirs = tmp_path / ("ours" + "".join(alpha)), tmp_path / ("theirs" + "".join(alpha))
        expected = tool_run(tool("pcx2png"), "-r", str(folder), "-o", str(theirs), *alpha)
        out, err = io.StringIO(), io.StringIO()
        bounded(lambda: archive.convert(str(folder), str(ours), client, keep_alpha=bool(alpha), out=out, err=err))
        assert tree(ours) == tree(theirs)
        # Of 19 inputs, 3 have a layout no reader stores (8 bits x 2 planes),
        # 1 is no picture and 1 has the name of another's output.
        assert len(tree(ours)) == 14
        named = err.getvalue().replace(archive.PROGRAM + ":", "pcx2png:").replace(str(ours), str(theirs))
        assert named == expected.stderr
        assert out.getvalue().replace(archive.PROGRAM, "pcx2png") == expected.stdout


def dcx(pages):
    """A multi-page file of the given pictures: the mark, a full table of
    offsets ended by a zero, then the pages one after another."""
    table_bytes = 4 + 4 * 1024
    offsets, at = [], table_bytes
    for page in pages:
        offsets.append(at)
        at += len(page)
    table = b"".join(offset.to_bytes(4, "little") for offset in offsets).ljust(4 * 1024, b"\0")
    return (0x3ADE68B1).to_bytes(4, "little") + table + b"".join(pages)


def test_convert_takes_multi_page_files_as_pcx2png_does(client, tmp_path):
    src = tmp_path / "src"
    (src / "deeper").mkdir(parents=True)
    corpus = pathlib.Path(__file__).parents[1] / "tools" / "dcx_corpus"
    for name in sorted(corpus.glob("*.dcx")):
        shutil.copy(name, src / name.name)
        shutil.copy(name, src / "deeper" / name.name.upper())
    mixed = (corpus / "mixed.dcx").read_bytes()
    third = int.from_bytes(mixed[12:16], "little")
    # Cut short in its third page: the first two whole, the third damaged,
    # the last lost.
    (src / "cut.dcx").write_bytes(mixed[:third + 200])
    # Ten pages of pictures that differ: their names padded to two digits.
    (src / "ten.dcx").write_bytes(dcx([noisy_picture(seed, 20 + seed, 5, 1) for seed in range(10)]))
    (src / "single.pcx").write_bytes(small_picture())
    for pages, batch_bytes in ((None, None), (None, 1), ("2-3,9", None), ("3-", 1 << 30)):
        page = ["--page", pages] if pages else []
        ours, theirs = tmp_path / ("ours-%s-%s" % (pages, batch_bytes)), tmp_path / ("theirs-%s-%s" % (pages, batch_bytes))
        expected = tool_run(tool("pcx2png"), "-r", str(src), "-o", str(theirs), *page)
        out, err = io.StringIO(), io.StringIO()
        bounded(lambda: archive.convert(str(src), str(ours), client, batch_bytes=batch_bytes, out=out, err=err,
                                        pages=pages))
        assert tree(ours) == tree(theirs), (pages, batch_bytes)
        named = err.getvalue().replace(archive.PROGRAM + ":", "pcx2png:").replace(str(ours), str(theirs))
        assert named == expected.stderr
        assert out.getvalue().replace(archive.PROGRAM, "pcx2png") == expected.stdout
        if pages is None:
            assert "cut.dcx page 3: converted with damage" in err.getvalue()
            assert "cut.dcx page 4: refused: lost" in err.getvalue()
    everything = tree(tmp_path / "ours-None-None")
    assert {"ten-%02d.png" % n for n in range(1, 11)} <= set(everything)
    assert {"cut-1.png", "cut-2.png", "single.png", "deeper/FAX-1.png", "deeper/MIXED-4.png"} <= set(everything)
    assert "cut-3.png" in everything and "cut-4.png" not in everything
    # The second page of the cut file is the whole file's own.
    assert everything["cut-2.png"] == everything["mixed-2.png"]
    assert sorted(tree(tmp_path / "ours-2-3,9-None")) == [
        "cut-2.png", "cut-3.png", "deeper/FAX-2.png", "deeper/MIXED-2.png", "deeper/MIXED-3.png", "fax-2.png",
        "mixed-2.png", "mixed-3.png", "single.png", "ten-02.png", "ten-03.png", "ten-09.png"]
    with pytest.raises(ValueError, match="--page"):
        archive.convert(str(src), str(tmp_path / "none"), client, pages="3-2")
    assert not (tmp_path / "none").exists()


def test_convert_pages_keep_outputs_and_resume(client, tmp_path):
    src, ours = tmp_path / "src", tmp_path / "ours"
    src.mkdir()
    (src / "ten.dcx").write_bytes(dcx([noisy_picture(seed, 30, 4 + seed, 3) for seed in range(10)]))
    bounded(lambda: archive.convert(str(src), str(ours), client, out=io.StringIO(), err=io.StringIO()))
    whole = tree(ours)
    (ours / "ten-07.png").unlink()
    (ours / "ten-07.png.part").write_bytes(b"\x89PNG cut")
    (ours / "ten-03.png").write_bytes(b"kept")
    out = io.StringIO()
    counts = bounded(lambda: archive.convert(str(src), str(ours), client, out=out, err=io.StringIO()))
    assert counts == (1, 0, 9, 0, 0)
    assert out.getvalue() == archive.PROGRAM + ": 1 file (10 pictures): 1 converted (0 of them with damage), " \
        "9 kept, 0 refused, 0 failed\n"
    whole["ten-03.png"] = b"kept"
    assert tree(ours) == whole


def test_convert_keeps_outputs_and_finishes_what_was_left(folder, client, tmp_path):
    theirs = tmp_path / "theirs"
    tool_run(tool("pcx2png"), "-r", str(folder), "-o", str(theirs))
    ours = tmp_path / "ours"
    bounded(lambda: archive.convert(str(folder), str(ours), client, out=io.StringIO(), err=io.StringIO()))
    # As a run cut short leaves it: one output missing with a partial
    # write beside it, another one kept whatever it holds.
    (ours / "many" / "03.png").unlink()
    (ours / "many" / "03.png.part").write_bytes(b"\x89PNG cut")
    (ours / "many" / "04.png").write_bytes(b"someone else's")
    out = io.StringIO()
    counts = bounded(lambda: archive.convert(str(folder), str(ours), client, out=out, err=io.StringIO()))
    assert counts == (1, 0, 13, 5, 0)
    assert (ours / "many" / "04.png").read_bytes() == b"someone else's"
    expected = tree(theirs)
    expected["many/04.png"] = b"someone else's"
    assert tree(ours) == expected
    counts = bounded(lambda: archive.convert(str(folder), str(ours), client, force=True, out=out, err=io.StringIO()))
    assert counts == (12, 2, 0, 5, 0)
    assert tree(ours) == tree(theirs)


def test_a_killed_worker_loses_nothing(tmp_path):
    src = tmp_path / "src"
    for seed in range(48):
        path = src / ("%02d" % (seed % 6)) / ("%02d.pcx" % seed)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(noisy_picture(seed, 500, 300, 3 + seed % 2))
    theirs = tmp_path / "theirs"
    tool_run(tool("pcx2png"), "-r", str(src), "-o", str(theirs))
    ours = tmp_path / "ours"
    with archive.cluster(workers=2) as client:
        pids = client.run(os.getpid)
        done = {}
        run = threading.Thread(
            target=lambda: done.update(
                counts=archive.convert(str(src), str(ours), client, batch_bytes=1, out=io.StringIO(),
                                       err=io.StringIO())),
            daemon=True)
        run.start()
        deadline = time.monotonic() + RUN_SECONDS
        busy = {}
        while not busy and time.monotonic() < deadline:
            busy = {worker: keys for worker, keys in client.processing().items() if keys}
            time.sleep(0.01)
        victim = sorted(busy)[0]
        os.kill(pids[victim], signal.SIGKILL)
        assert run.is_alive(), "the run ended before a worker could be killed"
        run.join(RUN_SECONDS)
        assert not run.is_alive()
        assert pids[victim] not in client.run(os.getpid).values()
    converted, damaged, kept, refused, failed = done["counts"]
    # A file the killed worker wrote before it died is kept when its batch
    # runs again; none is lost and none is half written.
    assert (converted + kept, damaged, refused, failed) == (48, 0, 0, 0)
    assert tree(ours) == tree(theirs)


def command(*arguments):
    return subprocess.run(
        [sys.executable, "-m", "raster_pcx.archive", *arguments],
        capture_output=True,
        text=True,
        timeout=RUN_SECONDS,
    )


def test_the_command_line(folder, client, tmp_path):
    expected = tool_run(tool("pcxcheck"), "-r", str(folder))
    checked = command("check", "--workers", "1", "--quiet", str(folder))
    assert (checked.returncode, checked.stdout) == (expected.returncode, expected.stdout)

    # On a cluster of its own (this test's) through its address.
    converted = command("convert", str(folder), str(tmp_path / "ours"), "--scheduler", client.scheduler.address)
    tool_run(tool("pcx2png"), "-r", str(folder), "-o", str(tmp_path / "theirs"))
    assert converted.returncode == 1  # a file refused
    assert tree(tmp_path / "ours") == tree(tmp_path / "theirs")

    for arguments, status, words in (
        (["check", "--workers", "0", str(folder)], 2, "--workers"),
        (["check", "--scheduler", "nowhere", str(folder)], 2, "--scheduler"),
        (["convert", str(folder)], 2, "DST"),
        (["check", str(tmp_path / "missing")], 1, "missing does not exist"),
    ):
        refused = command(*arguments)
        assert refused.returncode == status, arguments
        assert refused.stderr.count("\n") == 1 and words in refused.stderr, refused.stderr
    assert command("--help").returncode == 0


def test_one_converter_gives_every_file_pcx2png_s_bytes_whatever_came_before(tmp_path):
    """A batch converts through one converter, which keeps its memory from
    file to file: after a large true-colour picture, smaller ones of other
    kinds, a cut one and a refused one each come out as pcx2png alone makes
    them."""
    pcx2png = tool("pcx2png")
    files = {
        "1-large.pcx": noisy_picture(1, 300, 90, 3),
        "2-small.pcx": small_picture(),
        "3-cut.pcx": true_colour_picture(3, cut=9),
        "4-text.pcx": b"not a picture" * 20,
        "5-four planes.pcx": true_colour_picture(4),
        "6-large again.pcx": noisy_picture(2, 170, 60, 1),
    }
    converter = archive._native().Converter()
    for name, data in files.items():
        source = tmp_path / name
        source.write_bytes(data)
        result, why, png = converter.png_of(str(source), False, 1 << 28)
        alone = tmp_path / ("alone-" + name)
        tool_run(pcx2png, str(source), "-o", str(alone))
        expected = alone / (source.stem + ".png")
        refused, damaged = name == "4-text.pcx", "cut" in name
        wanted = archive.CONVERTED_DAMAGED if damaged else archive.CONVERTED
        expected_result = archive.REFUSED_INPUT if refused else wanted
        assert result == expected_result, why
        assert png == (expected.read_bytes() if expected.exists() else b""), name


def test_the_local_cluster_s_workers_keep_glibc_s_memory_settings(client):
    """Dask asks its workers' glibc to hand freed memory back at once, which
    costs each picture fresh pages; this cluster's workers do not."""
    import dask

    seen = client.run(os.environ.get, "MALLOC_TRIM_THRESHOLD_")
    assert len(seen) == 2 and set(seen.values()) == {None}
    assert "MALLOC_TRIM_THRESHOLD_" in dask.config.get("distributed.nanny.pre-spawn-environ")  # Dask's own default


def test_batches_follow_bytes_and_path_order():
    sizes = [100] * 50 + [10 << 20] + [100] * 50
    batches = archive.batches_of(sizes, workers=2, batch_bytes=40 << 10)
    assert [i for batch in batches for i in batch] == list(range(101))
    assert [50] in [list(batch) for batch in batches]  # a large file alone
    assert max(len(batch) for batch in batches) == 10  # 10 files of 4196 weighed bytes reach 40 KiB
    many = archive.batches_of([1000] * 20000, workers=2)
    assert 2 * archive.BATCHES_PER_WORKER <= len(many) <= 2 * archive.BATCHES_PER_WORKER + 1


def die_at_poison(paths):
    """A batch whose worker process dies when it holds a file named poison."""
    if "poison" in paths:
        os._exit(3)
    return [(0, path) for path in paths]


def test_a_file_that_kills_its_worker_is_the_only_one_lost():
    import cloudpickle
    import dask

    cloudpickle.register_pickle_by_value(sys.modules[__name__])  # the workers cannot import this file
    items = ["file %d" % i for i in range(12)]
    items[7] = "poison"
    taken = []
    # The scheduler gives up on a task at the first death: the test waits for
    # three restarts rather than twelve, and files that merely shared the
    # poisoned worker are given up on too, as they can be at any setting.
    with dask.config.set({"distributed.scheduler.allowed-failures": 0}), archive.cluster(workers=2) as client:
        bounded(lambda: archive._run(client, die_at_poison, items, archive.batches_of([0] * 12, 2, 3 * 4096), (),
                                     lambda index, result: taken.append((index, result)),
                                     lambda index, error: (3, "lost " + items[index]),
                                     archive.Progress(False, 12, "test")))
    expected = [(i, (0, "file %d" % i)) for i in range(12)]
    expected[7] = (7, (3, "lost poison"))
    assert taken == expected


def test_the_stubs_match_the_functions():
    import ast
    import inspect

    for module, stub in ((archive, "archive.pyi"), (archive._native(), "_archive.pyi")):
        tree = ast.parse((pathlib.Path(archive.__file__).parent / stub).read_text())
        stubbed = {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}
        public = {name for name, thing in vars(module).items()
                  if callable(thing) and not name.startswith("_") and not inspect.isclass(thing)
                  and getattr(thing, "__module__", module.__name__) == module.__name__}
        assert public == set(stubbed), stub
        for name in public & {"check", "convert", "cluster", "batches_of", "main"}:
            node = stubbed[name]
            names = [a.arg for a in node.args.args] + [a.arg for a in node.args.kwonlyargs]
            assert names == list(inspect.signature(getattr(module, name)).parameters), name
