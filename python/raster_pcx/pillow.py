"""Pillow reads and writes PCX through raster_pcx once this is imported.

    import raster_pcx.pillow
    from PIL import Image
    im = Image.open("SKY.PCX")          # mode "1", "L", "P", "RGB" or "RGBA"
    im.save("copy.pcx")

Importing registers an opener and a saver for the format "PCX", and an
opener for multi-page PCX ("DCX": ``n_frames``, ``seek``, ``tell``,
EOFError past the last page), in place of Pillow's own. Modes: "1" for
black and white 1-bit pictures, "L" for 256-colour pictures whose palette
is the grey ramp, "P" for the other indexed ones, "RGB" for 3 planes and
"RGBA" for 4. A damaged picture opens
with a raster_pcx.DamageWarning, and ``im.info["pcx_damage"]`` names the
damage (``im.info["pcx_rows_decoded"]`` the rows read). The saver takes
what Pillow's own does ("1", "L", "P", "RGB") and refuses a zero-size
picture with ValueError.
"""

import numpy
from PIL import Image, ImageFile, ImagePalette

# Pillow's own plugin registers itself when imported; importing it first
# means a later Image.init() finds it already imported and does not put it
# back in front of this one.
from PIL import DcxImagePlugin, PcxImagePlugin  # noqa: F401

import raster_pcx

_DECODER = "raster_pcx"
_BLACK_WHITE = numpy.array([[0, 0, 0], [255, 255, 255]], dtype=numpy.uint8)
_GREY_RAMP = numpy.repeat(numpy.arange(256, dtype=numpy.uint8)[:, None], 3, axis=1)


def _accept(prefix):
    return prefix[:1] == b"\x0a"


def _accept_dcx(prefix):
    return prefix[:4] == b"\xb1\x68\xde\x3a"


def _mode(facts):
    if facts.true_colour:
        return "RGBA" if facts.planes == 4 else "RGB"
    if numpy.array_equal(facts.palette, _BLACK_WHITE):
        return "1"
    if numpy.array_equal(facts.palette, _GREY_RAMP):
        return "L"
    return "P"


class PcxImageFile(ImageFile.ImageFile):
    """A PCX picture decoded by raster_pcx (when opened, so that damage shows in ``info`` at once)."""

    format = "PCX"
    format_description = "PCX (raster_pcx)"

    def _open(self):
        data = self.fp.read()
        try:
            picture = raster_pcx.read(data)
        except raster_pcx.PcxError as refused:
            # Pillow tries its other openers on SyntaxError.
            raise SyntaxError(f"not a PCX file: {refused}") from None
        self._show(picture)

    def _show(self, picture):
        facts = picture.facts
        mode = _mode(facts)
        self._size = (facts.width, facts.height)
        _set_mode(self, mode)
        self.info["dpi"] = facts.dpi
        for key in ("pcx_damage", "pcx_rows_decoded"):
            self.info.pop(key, None)
        if facts.damage:
            self.info["pcx_damage"] = "; ".join(facts.damage_words)
            self.info["pcx_rows_decoded"] = facts.rows_decoded
        self.palette = ImagePalette.raw("RGB", facts.palette.tobytes()) if mode == "P" else None
        # The pixels are already decoded; loading only copies them in, by
        # Pillow's own decoder path, which also closes the file it opened.
        raw = "1;8" if mode == "1" else mode
        self.tile = [(_DECODER, (0, 0) + self.size, 0, (raw, picture.pixels.tobytes()))]


class DcxImageFile(PcxImageFile):
    """A multi-page PCX (DCX) file: ``n_frames`` pages, ``seek`` and ``tell`` as for Pillow's other multi-frame files.

    Each page opens as a PCX picture does (modes, ``info["pcx_damage"]``); a
    page the file lost raises raster_pcx.PcxError when sought, naming it.
    ``info["dcx_faults"]`` names what is wrong with the file's table.
    """

    format = "DCX"
    format_description = "Multi-page PCX (raster_pcx)"
    _close_exclusive_fp_after_loading = False

    def _open(self):
        # Pillow lets go of fp after each load; loading another page needs
        # it back (only to seek in: the file's bytes are kept here).
        self._fp = self.fp
        self._data = self.fp.read()
        try:
            self._pages = raster_pcx.pages(self._data)
        except raster_pcx.PcxError as refused:
            raise SyntaxError(f"not a DCX file: {refused}") from None
        if not self._pages:
            raise SyntaxError("a DCX file without pages")
        faults = raster_pcx.DcxFault(0)
        for page in self._pages:
            faults |= page.faults
        if faults:
            self.info["dcx_faults"] = "; ".join(raster_pcx.Page(0, 0, 0, faults).fault_words)
        self.frame = None
        self.seek(0)

    @property
    def n_frames(self):
        return len(self._pages)

    @property
    def is_animated(self):
        return len(self._pages) > 1

    def seek(self, frame):
        if not self._seek_check(frame):
            return
        try:
            picture = raster_pcx.read(self._data, page=frame)
        except IndexError as past:
            raise EOFError(str(past)) from None
        self.frame = frame
        self.fp = self._fp
        # The last page's image goes: Pillow would put this page's palette
        # into it before loading, whatever its mode.
        self.im = None
        self._show(picture)

    def tell(self):
        return self.frame


def _set_mode(image, mode):
    # Newer Pillows keep the mode behind a read-only property.
    if isinstance(getattr(type(image), "mode", None), property):
        image._mode = mode
    else:
        image.mode = mode


class _Decoded(ImageFile.PyDecoder):
    _pulls_fd = True

    def decode(self, buffer):
        raw, pixels = self.args
        self.set_as_raw(pixels, raw)
        return -1, 0


def _save(im, fp, filename):
    if im.width == 0 or im.height == 0:
        raise ValueError(f"a PCX picture is at least 1 x 1; this one is {im.width} x {im.height}")
    if im.mode == "1":
        data = raster_pcx.encode(numpy.asarray(im, dtype=numpy.uint8), _BLACK_WHITE)
    elif im.mode == "L":
        data = raster_pcx.encode(numpy.asarray(im), _GREY_RAMP)
    elif im.mode == "P":
        # Always 256 colours, as Pillow writes them: the indices of a
        # shorter palette then still fit, and the picture reads back as "P".
        colours = numpy.zeros((256, 3), dtype=numpy.uint8)
        palette = numpy.frombuffer(bytes(im.getpalette("RGB")), dtype=numpy.uint8).reshape(-1, 3)[:256]
        colours[:len(palette)] = palette
        data = raster_pcx.encode(numpy.asarray(im), colours)
    elif im.mode == "RGB":
        data = raster_pcx.encode(numpy.asarray(im))
    else:
        raise ValueError(f"cannot write mode {im.mode} as PCX (1, L, P and RGB are written)")
    fp.write(data)


Image.register_decoder(_DECODER, _Decoded)
Image.register_open(PcxImageFile.format, PcxImageFile, _accept)
Image.register_save(PcxImageFile.format, _save)
Image.register_extension(PcxImageFile.format, ".pcx")
Image.register_mime(PcxImageFile.format, "image/x-pcx")
Image.register_open(DcxImageFile.format, DcxImageFile, _accept_dcx)
Image.register_extension(DcxImageFile.format, ".dcx")
