"""Folder trees of PCX pictures checked and converted on a Dask cluster.

    python3 -m raster_pcx.archive check [options] SRC
    python3 -m raster_pcx.archive convert [options] SRC DST

``check`` prints, for every .pcx and .dcx file under SRC (any case, in
path order), the very lines ``pcxcheck -r SRC`` prints, then its summary,
and exits as it does: 0 when no file lost anything, 1 when one is damaged or refused.
``convert`` writes DST/REL.png for every SRC/REL.pcx, and DST/REL-P.png for
every page P of a multi-page SRC/REL.dcx (numbered from 1, padded to the page
count's digits; ``--page`` selects pages as pcx2png's does), with the very
bytes ``pcx2png -r SRC -o DST`` writes, each file whole or not at all; outputs
that exist are kept (``--force`` replaces them), so the same command run again
finishes an interrupted run.

Without ``--scheduler`` the work runs on a cluster of this machine's own, one
worker process per core (``--workers N`` sets how many), reached on the
loopback address only. With ``--scheduler tcp://HOST:PORT`` it runs on that
cluster, whose workers must have this package installed and see SRC and DST
at the same paths.

Files go to the workers in batches of about the same number of bytes, in
path order, so that scheduling costs a little a batch rather than a file. A
worker that dies takes no file with it: the scheduler runs its batches again
on another, and a conversion it left half written is only a ``.part`` file,
replaced when the file is written again.

The functions ``check`` and ``convert`` run the same on a ``distributed``
client of the caller's.
"""

import argparse
import contextlib
import logging
import os
import re
import signal
import sys
import time

PROGRAM = "raster_pcx.archive"
DEFAULT_MAX_PIXELS = 1 << 28

# pcxcheck's verdicts, in the order of its summary.
WHOLE, NOTED, DAMAGED, REFUSED = range(4)
# pcx2png's results.
CONVERTED, CONVERTED_DAMAGED, KEPT, REFUSED_INPUT, FAILED = range(5)

# Batches hold about a share of the whole archive's bytes: several batches a
# worker, so that the last ones even out, but never so many that scheduling
# shows beside the work, nor so large that one dead worker costs much.
BATCHES_PER_WORKER = 16
SMALLEST_BATCH = 256 << 10
LARGEST_BATCH = 16 << 20
# A file costs some work however small it is.
FILE_OVERHEAD = 4096


def _native():
    from . import _archive

    return _archive


def check_batch(paths, max_pixels):
    """pcxcheck's (verdict, text) for each of paths; runs on a worker."""
    return _native().check_files(paths, max_pixels)


def _make_folder(path):
    folder = os.path.dirname(path)
    if not folder:
        return
    try:
        os.makedirs(folder, exist_ok=True)
    except OSError as error:
        raise OSError(error.errno, "cannot make the folder %s: %s" % (folder, error.strerror)) from error


def _write_whole(path, data):
    """Written under PATH.part and renamed, so that PATH is whole or absent:
    a worker killed half way leaves only the .part, which the next write of
    the same file replaces."""
    _make_folder(path)
    part = path + ".part"
    try:
        with open(part, "wb") as file:
            file.write(data)
        os.replace(part, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.remove(part)
        raise


def convert_file(source, target, keep_alpha, max_pixels, force, page=None, converter=None):
    """pcx2png's (result, why) for one file, or for one page of a multi-page
    file (page as _native().pages_of lists it, its first five), its PNG
    written to target; converter (a _native().Converter) keeps its working
    memory for the next file."""
    if not force and os.path.exists(target):
        return KEPT, ""
    converter = converter or _native().Converter()
    if page is None:
        result, why, png = converter.png_of(source, keep_alpha, max_pixels)
    else:
        result, why, png = converter.page_png_of(source, tuple(page[:5]), keep_alpha, max_pixels)
    if result not in (CONVERTED, CONVERTED_DAMAGED):
        return result, why
    try:
        _write_whole(target, png)
    except OSError as error:
        return FAILED, "cannot write %s: %s" % (target, error.strerror or error)
    return result, why


def convert_batch(jobs, keep_alpha, max_pixels, force):
    """convert_file for each (source, target, page) of jobs, in one converter's
    kept memory; runs on a worker."""
    converter = _native().Converter()
    return [
        convert_file(source, target, keep_alpha, max_pixels, force, page, converter) for source, target, page in jobs
    ]


def batches_of(sizes, workers, batch_bytes=None):
    """Consecutive runs of indices into sizes (file sizes in bytes), each of
    about batch_bytes (by default a share of the total for each worker)."""
    weights = [size + FILE_OVERHEAD for size in sizes]
    if batch_bytes is None:
        share = sum(weights) // max(1, workers * BATCHES_PER_WORKER)
        batch_bytes = min(LARGEST_BATCH, max(SMALLEST_BATCH, share))
    batches, start, held = [], 0, 0
    for index, weight in enumerate(weights):
        held += weight
        if held >= batch_bytes:
            batches.append(range(start, index + 1))
            start, held = index + 1, 0
    if start < len(weights):
        batches.append(range(start, len(weights)))
    return batches


class Progress:
    """'PROGRAM: done/total files, N a second' redrawn on standard error a few
    times a second, as the tools draw theirs; nothing when shown is false."""

    def __init__(self, shown, total, label):
        self.shown, self.total, self.label = shown, total, label
        self.start = self.drawn = time.monotonic()
        self.done = 0

    def add(self, files):
        self.done += files
        now = time.monotonic()
        if self.shown and (now - self.drawn >= 0.25 or self.done == self.total):
            self.drawn = now
            rate = self.done / max(now - self.start, 1e-6)
            sys.stderr.write("\r%s: %d/%d files, %.1f a second " % (self.label, self.done, self.total, rate))
            sys.stderr.flush()

    def end(self):
        if self.shown and self.done:
            sys.stderr.write("\n")
            sys.stderr.flush()


def _run(client, function, items, batches, arguments, take, lost, progress):
    """function(batch of items, *arguments) on the cluster for each batch;
    take(index, result) for each item's result, in the items' order, as soon
    as every item before it is in.

    A batch the cluster gives up on (its workers died each time it ran: a
    file that kills its process, or more memory than a worker may hold, on
    that worker or beside it) runs again a file a task; a file that fails so
    too runs once more at the end, alone on the cluster, where only its own
    fault can end it: then take(index, lost(index, error))."""
    from distributed import KilledWorker, as_completed

    owners, alone = {}, []

    def submit(indices):
        future = client.submit(function, [items[i] for i in indices], *arguments, pure=False)
        owners[future.key] = (indices, future)
        return future

    waiting, next_index = {}, 0

    def arrived(indices, results):
        nonlocal next_index
        waiting.update(zip(indices, results))
        progress.add(len(indices))
        while next_index in waiting:
            take(next_index, waiting.pop(next_index))
            next_index += 1

    running = as_completed([submit(list(batch)) for batch in batches])
    try:
        for future in running:
            indices = owners.pop(future.key)[0]
            try:
                arrived(indices, future.result())
            except KilledWorker:
                if len(indices) > 1:
                    for index in indices:
                        running.add(submit([index]))
                else:
                    alone.extend(indices)
        for index in sorted(alone):
            future = submit([index])
            try:
                results = future.result()
            except KilledWorker as error:
                results = [lost(index, error)]
            owners.pop(future.key)
            arrived([index], results)
    finally:
        if owners:
            client.cancel([future for _, future in owners.values()])


def _lost_words(_):
    return "its worker process died each time it took the file"


# What each command takes from a folder, as pcxcheck and pcx2png do: single
# and multi-page files.
CHECKED = [".pcx", ".dcx"]
CONVERTED_KINDS = [".pcx", ".dcx"]


def _inputs(src, extensions):
    found, error = _native().collect_folder(src, extensions)
    if error:
        raise ValueError(error)
    return [tuple(one) for one in found]


def check(src, client, *, max_pixels=DEFAULT_MAX_PIXELS, batch_bytes=None, out=None, progress=False, inputs=None):
    """Checks every .pcx file under src on client's cluster, printing to out
    (standard output by default) what ``pcxcheck -r src`` prints. Returns the
    counts of files whole, with notes only, damaged and refused. ValueError
    with the tools' words when src holds no .pcx file or cannot be listed.
    inputs: src's files as listed already (by _inputs), as (path, path
    below src, size)."""
    out = out or sys.stdout
    inputs = inputs or _inputs(src, CHECKED)
    paths = [path for path, _, _ in inputs]
    workers = max(1, len(client.scheduler_info().get("workers", {})))
    batches = batches_of([size for _, _, size in inputs], workers, batch_bytes)
    counts = [0, 0, 0, 0]
    line = Progress(progress, len(paths), "check")

    def lost(index, error):
        return REFUSED, "%s: refused: %s" % (paths[index], _lost_words(error))

    def take(_, verdict):
        counts[verdict[0]] += 1
        out.write(verdict[1] + "\n")

    try:
        _run(client, check_batch, paths, batches, (max_pixels,), take, lost, line)
    finally:
        line.end()
    out.write(
        "%d file%s: %d whole, %d with notes only, %d damaged, %d refused\n"
        % (len(paths), "" if len(paths) == 1 else "s", *counts)
    )
    out.flush()
    return tuple(counts)


def _jobs(inputs, dst, ranges):
    """The jobs as pcx2png -o DST plans them, each (name, (source, target,
    page), size in bytes): one a single picture, one a page of a multi-page
    file (page as _native().pages_of lists it). Also the refusals, by job:
    a page lost or not in the file, and an output two jobs would share,
    refused for the later one, in pcx2png's words."""
    targets = [os.path.join(dst, os.path.splitext(relative)[0] + ".png") for _, relative, _ in inputs]
    listed = _native().pages_of([(path, target) for (path, _, _), target in zip(inputs, targets)], ranges)
    jobs, taken, refusals = [], {}, {}
    for (path, _, size), target, pages in zip(inputs, targets, listed):
        for page in pages or [None]:
            if page is None:
                name, job, weight = path, (path, target, None), size
            else:
                name, job, weight = "%s page %d" % (path, page[0]), (path, page[6], page[:5]), page[3]
                if page[5]:
                    refusals[len(jobs)] = page[5]
            first = taken.setdefault(os.path.normpath(job[1]), name)
            if first != name:
                refusals[len(jobs)] = "its output %s is also %s's" % (job[1], first)
            jobs.append((name, job, weight))
    return jobs, refusals


def convert(
    src,
    dst,
    client,
    *,
    keep_alpha=False,
    force=False,
    max_pixels=DEFAULT_MAX_PIXELS,
    batch_bytes=None,
    out=None,
    err=None,
    progress=False,
    inputs=None,
    pages=None,
):
    """Converts every .pcx file under src to dst/RELATIVE.png, and every page
    of a multi-page .dcx file to dst/RELATIVE-P.png, on client's cluster, as
    ``pcx2png -r src -o dst`` does, naming each file or page refused, failed
    or converted with damage on err and the counts on out. pages: pcx2png's
    --page value (such as "2-3,5"), None for every page; ValueError when it
    is not one. Returns the counts converted, converted with damage, kept,
    refused and failed, counted by picture."""
    out, err = out or sys.stdout, err or sys.stderr
    ranges = []
    if pages is not None:
        ranges = _native().parse_pages(pages)
        if ranges is None:
            raise ValueError("--page %r: %s" % (pages, PAGE_WORDS))
    inputs = inputs or _inputs(src, CONVERTED_KINDS)
    planned, refusals = _jobs(inputs, dst, ranges)
    jobs = [job for _, job, _ in planned]
    todo = [i for i in range(len(jobs)) if i not in refusals]
    workers = max(1, len(client.scheduler_info().get("workers", {})))
    # Pages spread over batches as files do, by the bytes each holds.
    batches = batches_of([planned[i][2] for i in todo], workers, batch_bytes)
    results = {i: (REFUSED_INPUT, why) for i, why in refusals.items()}
    line = Progress(progress, len(todo), "convert")

    def lost(_, error):
        return REFUSED_INPUT, _lost_words(error)

    def take(index, result):
        results[todo[index]] = tuple(result)

    try:
        arguments = (keep_alpha, max_pixels, force)
        _run(client, convert_batch, [jobs[i] for i in todo], batches, arguments, take, lost, line)
    finally:
        line.end()
    counts = [0] * 5
    words = {CONVERTED_DAMAGED: "converted with damage", REFUSED_INPUT: "refused", FAILED: "failed"}
    for index in range(len(jobs)):
        result, why = results[index]
        counts[result] += 1
        if result in words:
            err.write("%s: %s: %s: %s\n" % (PROGRAM, planned[index][0], words[result], why))
    err.flush()
    converted = counts[CONVERTED] + counts[CONVERTED_DAMAGED]
    # Counted as pcx2png counts: the files, and the pictures when pages made
    # them more.
    files = "%d file%s" % (len(inputs), "" if len(inputs) == 1 else "s")
    if len(jobs) != len(inputs):
        files += " (%d pictures)" % len(jobs)
    out.write(
        "%s: %s: %d converted (%d of them with damage), %d kept, %d refused, %d failed\n"
        % (PROGRAM, files, converted, counts[CONVERTED_DAMAGED], *counts[2:])
    )
    out.flush()
    return tuple(counts)


class LeaveInterruptsToTheClient:
    """Ctrl-C on a terminal reaches every process of the local cluster; its
    workers (those started again after a death too) leave it to the command,
    which closes the cluster with each output whole, rather than each dying
    with a traceback of its own."""

    name = "raster_pcx.archive.interrupts"

    def setup(self, worker):
        del worker
        signal.signal(signal.SIGINT, signal.SIG_IGN)


@contextlib.contextmanager
def cluster(scheduler=None, workers=None):
    """A client of the cluster at scheduler, or of a cluster of this
    machine's own (workers processes, one a core by default, on the loopback
    address only), closed, with its cluster, on leaving."""
    from distributed import Client, LocalCluster

    if scheduler:
        client = Client(scheduler, timeout="30s")
        try:
            yield client
        finally:
            client.close()
        return
    import dask

    # Dask starts its workers with glibc told to hand freed memory back at
    # once (MALLOC_TRIM_THRESHOLD_), which also turns off glibc's raising of
    # its threshold for large blocks: every picture's bytes and PNG then
    # come in fresh pages, a fifth of a conversion's time. This cluster's
    # workers live for one command, as pcx2png's threads do, and keep
    # glibc's own settings.
    environ = {
        name: value
        for name, value in dask.config.get("distributed.nanny.pre-spawn-environ", {}).items()
        if name != "MALLOC_TRIM_THRESHOLD_"
    }
    with dask.config.set({"distributed.nanny.pre-spawn-environ": environ}):
        local = LocalCluster(
            n_workers=workers or os.cpu_count() or 1,
            threads_per_worker=1,
            processes=True,
            host="127.0.0.1",
            # No dashboard; the scheduler's own few web routes on any free
            # loopback port, so that two clusters of one machine never meet.
            dashboard_address=None,
            scheduler_kwargs={"dashboard_address": "127.0.0.1:0"},
            silence_logs=logging.ERROR,
        )
    try:
        client = Client(local)
        try:
            client.register_worker_plugin(LeaveInterruptsToTheClient())
            yield client
        finally:
            client.close()
    finally:
        local.close()


class _Parser(argparse.ArgumentParser):
    """A usage error is one line naming what is wrong, and status 2."""

    def error(self, message):
        self.exit(2, "%s: %s (%s --help for more)\n" % (PROGRAM, message, PROGRAM))


def _whole(low, high):
    def parse(text):
        if re.fullmatch(r"[0-9]+", text) and low <= int(text) <= high:
            return int(text)
        raise argparse.ArgumentTypeError("%r: a whole number from %d to %d" % (text, low, high))

    return parse


PAGE_WORDS = "a page number from 1 to 1023, a range N-M or N-, or a comma list of them"


def _page_list(text):
    if _native().parse_pages(text) is None:
        raise argparse.ArgumentTypeError("%r: %s" % (text, PAGE_WORDS))
    return text


def _address(text):
    if re.fullmatch(r"[a-z]+://[^\s/]+:[0-9]+", text):
        return text
    raise argparse.ArgumentTypeError("%r: an address such as tcp://HOST:PORT" % text)


def _parser():
    # The options go after the command, beside its folders, as people write
    # them; the same ones for both commands.
    shared = argparse.ArgumentParser(add_help=False)
    where = shared.add_mutually_exclusive_group()
    where.add_argument(
        "--workers", type=_whole(1, 256), help="worker processes of the local cluster (default: one a core)"
    )
    where.add_argument("--scheduler", type=_address, help="run on the cluster at this address (tcp://HOST:PORT)")
    shared.add_argument("--quiet", action="store_true", help="no progress line on a terminal")
    shared.add_argument(
        "--max-pixels",
        type=_whole(1, 1 << 32),
        default=DEFAULT_MAX_PIXELS,
        help="refuse pictures of more pixels (default 268435456)",
    )
    parser = _Parser(
        prog="python3 -m " + PROGRAM,
        description="Checks or converts every .pcx and .dcx file (any case) under a folder, on a Dask cluster; "
        "a multi-page .dcx file becomes one PNG a page, NAME-1.png, NAME-2.png, ...",
        epilog="Exit status: 0; 1 when a file is damaged or refused (check) or refused or not written "
        "(convert); 2 for a usage error; 130 when interrupted.",
    )
    commands = parser.add_subparsers(dest="command", required=True, metavar="check|convert", parser_class=_Parser)
    checker = commands.add_parser("check", parents=[shared], help="print what pcxcheck -r SRC prints")
    checker.add_argument("src", metavar="SRC")
    converter = commands.add_parser("convert", parents=[shared], help="write what pcx2png -r SRC -o DST writes")
    converter.add_argument("src", metavar="SRC")
    converter.add_argument("dst", metavar="DST")
    converter.add_argument("--alpha", action="store_true", help="keep a 4-plane picture's fourth plane, as RGBA")
    converter.add_argument("--force", action="store_true", help="replace existing outputs (else they are kept)")
    converter.add_argument(
        "--page",
        type=_page_list,
        metavar="LIST",
        help="only these pages of multi-page files: N, N-M, N- or a comma list of them (3,5-7); "
        "single pictures are whole",
    )
    return parser


def main(argv=None):
    """The command line; returns the exit status."""
    options = _parser().parse_args(argv)
    progress = not options.quiet and sys.stderr.isatty()
    try:
        # An empty or missing folder needs no cluster to be refused.
        inputs = _inputs(options.src, CHECKED if options.command == "check" else CONVERTED_KINDS)
    except ValueError as error:
        sys.stderr.write("%s: %s\n" % (PROGRAM, error))
        return 1
    try:
        with cluster(options.scheduler, options.workers) as client:
            if options.command == "check":
                counts = check(options.src, client, max_pixels=options.max_pixels, progress=progress, inputs=inputs)
                return 1 if counts[DAMAGED] + counts[REFUSED] else 0
            counts = convert(
                options.src,
                options.dst,
                client,
                keep_alpha=options.alpha,
                force=options.force,
                max_pixels=options.max_pixels,
                progress=progress,
                inputs=inputs,
                pages=options.page,
            )
            return 1 if counts[REFUSED_INPUT] + counts[FAILED] else 0
    except KeyboardInterrupt:
        sys.stdout.flush()
        sys.stderr.write(
            "\n%s: interrupted: outputs written so far are whole; the same command run again goes on\n" % PROGRAM
        )
        return 130
    except OSError as error:
        sys.stderr.write("%s: cannot reach the cluster: %s\n" % (PROGRAM, error))
        return 1


if __name__ == "__main__":
    # The module run as a program is __main__; the workers must find the
    # batch functions under the package's own name, so the work is done
    # through that.
    from raster_pcx.archive import main as _main

    sys.exit(_main())
