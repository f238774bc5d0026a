#!/usr/bin/env python3
"""The Windows PCX tools (from the unpacked zip, under Wine) against the
Linux ones, on the pictures the Linux tools' tests use:

  compare_tools.py --linux DIR --windows DIR --pictures DIR [--interrupt] WORK

DIR (linux) holds pcxcheck, pcx2png and png2pcx; DIR (windows) the .exe
files; --pictures the demo's PCX pictures. Inputs: the hand-made damaged and
odd files of the pcxcheck tests, the PNG pictures of the converters' tests
(one per layout, and a damaged one), the same pictures as Pillow and netpbm
write them as PCX, the demo's pictures, and multi-page files (hand-made and
the peers' from tests/tools/dcx_corpus); two of them under non-ASCII names. The Windows tools get a wildcard with backslashes, the Linux tools
the same files by name: outputs must be byte-identical, the reports the same
(slashes aside), the statuses equal. With --interrupt, a long batch stopped
by Ctrl-C (Wine turns SIGINT into the console's Ctrl-C event) must leave
only whole outputs and end with a non-zero status.
"""
import argparse
import glob
import os
import shutil
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import pcx_tools_test as linux_tests  # noqa: E402

failures = []


def check(condition, what):
    print(("ok     " if condition else "FAILED ") + what)
    if not condition:
        failures.append(what)


def make_inputs(work, pictures):
    from PIL import Image
    folder = os.path.join(work, "in")
    os.makedirs(folder)
    linux_tests.golden_files(folder)
    for name, (picture, _, _, _) in linux_tests.test_pictures(Image).items():
        picture.save(os.path.join(folder, name + ".png"))
        if picture.mode in ("P", "L", "RGB"):
            picture.save(os.path.join(folder, "pillow-" + name + ".pcx"))
        picture.convert("RGB").save(os.path.join(folder, name + ".ppm"))
        with open(os.path.join(folder, "netpbm-" + name + ".pcx"), "wb") as out:
            subprocess.run(["ppmtopcx", os.path.join(folder, name + ".ppm")], stdout=out, stderr=subprocess.DEVNULL,
                           check=True)
        os.remove(os.path.join(folder, name + ".ppm"))
    with open(os.path.join(folder, "rgb.png"), "rb") as f:
        data = f.read()
    with open(os.path.join(folder, "cut.png"), "wb") as f:
        f.write(data[:len(data) * 2 // 3])
    for name in ("SKY.PCX", "LOGO1.PCX", "LOGO2.PCX"):
        shutil.copy(os.path.join(pictures, name), os.path.join(folder, name.lower()))
    shutil.copy(os.path.join(pictures, "LOGO2.PCX"), os.path.join(folder, "Ölgemälde.pcx"))
    shutil.copy(os.path.join(folder, "b-odd.pcx"), os.path.join(folder, "猫.pcx"))
    shutil.copy(os.path.join(folder, "many.png"), os.path.join(folder, "猫.png"))
    linux_tests.dcx_files(folder)
    for name in ("mixed.dcx", "fax.dcx"):
        shutil.copy(os.path.join(linux_tests.CORPUS, name), os.path.join(folder, "peer-" + name))
    return folder


def compare_dcx(lin, win, wine, work, folder):
    """Multi-page files: each page's report, its PNG, and one file joined."""
    dcx = ["in/" + n for n in sorted(os.listdir(folder)) if n.endswith(".dcx")]
    compare("pcxcheck, multi-page", [lin["pcxcheck"]] + dcx, wine + [win["pcxcheck"], "in\\*.dcx"], work)
    compare("pcx2png, multi-page", [lin["pcx2png"], "-j", "2", "-o", "lin-dcx"] + dcx,
            wine + [win["pcx2png"], "-j", "2", "-o", "win-dcx", "in\\*.dcx"], work, ("lin-dcx", "win-dcx"))
    compare("pcx2png --page", [lin["pcx2png"], "--page", "2-3,5", "-o", "lin-page", "in/fax.dcx", "in/cut.dcx"],
            wine + [win["pcx2png"], "--page", "2-3,5", "-o", "win-page", "in\\fax.dcx", "in/cut.dcx"], work,
            ("lin-page", "win-page"))
    png = ["in/" + n for n in ("bw.png", "many.png", "rgb.png", "猫.png")]
    a = run([lin["png2pcx"], "--dcx", "lin.dcx"] + png, work)
    b = run(wine + [win["png2pcx"], "--dcx", "win.dcx"] + png, work)
    joined = [open(os.path.join(work, name), "rb").read() if os.path.exists(os.path.join(work, name)) else b""
              for name in ("lin.dcx", "win.dcx")]
    check(a[0] == b[0] == 0 and len(joined[0]) > 4100 and joined[0] == joined[1],
          "png2pcx --dcx: status %d and %d, byte-identical files (%d bytes)" % (a[0], b[0], len(joined[0])))


def run(command, cwd):
    done = subprocess.run(command, cwd=cwd, capture_output=True, timeout=300)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def files_in(folder):
    found = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = f.read()
    return found


def compare(what, linux_command, windows_command, work, outputs=None):
    """Both commands from `work`; their reports, statuses and outputs."""
    a = run(linux_command, work)
    b = run(windows_command, work)
    same_text = [t.replace("\\", "/").replace("\r\n", "\n") for t in b[1:]] == list(a[1:])
    check(a[0] == b[0], "%s: status %d on Linux, %d on Windows" % (what, a[0], b[0]))
    check(same_text, "%s: the same report" % what)
    if not same_text:
        print("--- Linux:\n%s%s--- Windows:\n%s%s" % (a[1], a[2], b[1], b[2]))
    if outputs:
        lin, win = files_in(os.path.join(work, outputs[0])), files_in(os.path.join(work, outputs[1]))
        check(len(lin) > 0 and lin == win, "%s: %d files, byte-identical (%d on Windows)" % (what, len(lin), len(win)))


def interrupt(windows, wine, work, pictures):
    """A long batch stopped by Ctrl-C leaves only whole files."""
    folder = os.path.join(work, "many")
    os.makedirs(folder)
    for i in range(400):
        shutil.copy(os.path.join(pictures, "SKY.PCX"), os.path.join(folder, "sky%03d.pcx" % i))
    run([os.path.join(windows["linux_pcx2png"]), os.path.join(folder, "sky000.pcx"), "-o", os.path.join(work, "one")],
        work)
    with open(os.path.join(work, "one", "sky000.png"), "rb") as f:
        whole = f.read()
    out = os.path.join(work, "stopped")
    process = subprocess.Popen([wine, windows["pcx2png"], "-j", "2", "many\\*.pcx", "-o", "stopped"], cwd=work,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    end = time.monotonic() + 60
    while time.monotonic() < end and len(glob.glob(os.path.join(out, "*.png"))) < 5:
        time.sleep(0.02)
    process.send_signal(signal.SIGINT)
    _, err = process.communicate(timeout=120)
    written = sorted(os.listdir(out)) if os.path.isdir(out) else []
    pngs = [name for name in written if name.endswith(".png")]
    check(process.returncode != 0, "Ctrl-C: status %d, not 0 (%s)" % (process.returncode, err.decode()[-200:]))
    check(0 < len(pngs) < 400 and len(pngs) == len(written),
          "Ctrl-C: %d of 400 written, nothing else left (%d files)" % (len(pngs), len(written)))
    check(all(open(os.path.join(out, name), "rb").read() == whole for name in pngs), "Ctrl-C: every PNG left is whole")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--linux", required=True)
    parser.add_argument("--windows", required=True)
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--wine", default="wine")
    parser.add_argument("--interrupt", action="store_true")
    parser.add_argument("work")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    folder = make_inputs(work, os.path.abspath(args.pictures))
    lin = {t: os.path.join(os.path.abspath(args.linux), t) for t in ("pcxcheck", "pcx2png", "png2pcx")}
    win = {t: os.path.join(os.path.abspath(args.windows), t + ".exe") for t in ("pcxcheck", "pcx2png", "png2pcx")}
    pcx = ["in/" + n for n in sorted(os.listdir(folder)) if n.lower().endswith(".pcx")]
    png = ["in/" + n for n in sorted(os.listdir(folder)) if n.endswith(".png")]
    wine = [args.wine]
    compare("pcxcheck", [lin["pcxcheck"]] + pcx, wine + [win["pcxcheck"], "in\\*.pcx"], work)
    compare("pcx2png", [lin["pcx2png"], "-j", "1", "-o", "lin-png"] + pcx,
            wine + [win["pcx2png"], "-j", "1", "-o", "win-png", "in\\*.pcx"], work, ("lin-png", "win-png"))
    compare("pcx2png --alpha", [lin["pcx2png"], "--alpha", "-o", "lin-alpha", "in/netpbm-rgb.pcx", "in/sky.pcx"],
            wine + [win["pcx2png"], "--alpha", "-o", "win-alpha", "in/netpbm-rgb.pcx", "in\\sky.pcx"], work,
            ("lin-alpha", "win-alpha"))
    compare("png2pcx", [lin["png2pcx"], "-j", "1", "-o", "lin-pcx"] + png,
            wine + [win["png2pcx"], "-j", "1", "-o", "win-pcx", "in/*.png"], work, ("lin-pcx", "win-pcx"))
    compare_dcx(lin, win, wine, work, folder)
    check(os.path.exists(os.path.join(work, "win-png", "Ölgemälde.png")) and
          os.path.exists(os.path.join(work, "win-pcx", "猫.pcx")), "non-ASCII names in and out")
    if args.interrupt:
        interrupt(dict(win, linux_pcx2png=lin["pcx2png"]), args.wine, work, os.path.abspath(args.pictures))
    print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
