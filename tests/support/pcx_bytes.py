"""PCX files built byte by byte, for the Python test suites (the tools' and
the Python package's), so that expected pixels never come from the code
under test."""
import struct


def rle(line):
    """One plane line run-length coded, runs stopping at the line's end."""
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
    """A PCX file from its raw plane lines (bpl * planes bytes a row); `cut`
    keeps only that many bytes of data, `trailer` (768 bytes) is appended
    after its 0x0C mark."""
    header = struct.pack("<BBBBHHHHHH", 10, version, 1, bits, 0, 0, width - 1, height - 1, 72, 72)
    header += header16.ljust(48, b"\0") + bytes((0, planes)) + struct.pack("<HH", bpl, 1)
    body = header.ljust(128, b"\0") + b"".join(rle(line) for line in lines)
    if cut is not None:
        body = body[:128 + cut]
    return body + (b"\x0c" + trailer if trailer is not None else b"")


def ramp_trailer():
    """256 colours, index i as (i, 255 - i, i // 2)."""
    return bytes(v for i in range(256) for v in (i, 255 - i, i // 2))
