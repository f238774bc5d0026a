"""PCX pictures to numpy arrays and back, on the raster library's PCX codec.

    import raster_pcx
    pixels = raster_pcx.decode("SKY.PCX")            # H x W indices, H x W x 3 ...
    rgba = raster_pcx.decode("SKY.PCX", "rgba")      # H x W x 4
    raster_pcx.write("copy.pcx", pixels, raster_pcx.inspect("SKY.PCX").palette)

Every function takes its picture as a *source*: ``bytes``, ``bytearray``,
``memoryview``, ``mmap.mmap``, a numpy ``uint8`` array, a path (``str`` or
``os.PathLike``, mapped rather than copied) or a binary file object (read
from where it stands to its end).

A picture whose data is damaged (cut short, runs past the last line, its
colours lost, runs misread) is still returned, with a ``DamageWarning``
naming the damage and the rows read; ``strict=True`` raises ``DamageError``
instead. What is no PCX picture, or cannot be decoded, raises ``PcxError``.
The codec runs with the GIL released, so a thread pool decodes in parallel.
"""

import enum
import mmap
import os
import secrets
import warnings

import numpy

from . import _codec

__all__ = [
    "ColourSource", "Damage", "DamageError", "DamageWarning", "DcxFault", "Facts", "Note", "Page", "PcxError",
    "Picture", "decode", "encode", "inspect", "pages", "read", "write", "__version__",
]

__version__ = _codec.version

TRUE_COLOUR = _codec.TRUE_COLOUR
FORMATS = {"indices": 1, "rgb": 3, "rgba": 4}


class Damage(enum.IntFlag):
    """What a damaged picture lost (the codec's damage bits)."""

    SHORT_DATA = 1
    RUN_PAST_END = 2
    NO_TRAILER = 4
    MISREAD_RUNS = 8


class Note(enum.IntFlag):
    """Something unusual about a picture that lost nothing (the codec's note bits)."""

    ODD_LINE_BYTES = 1
    UNKNOWN_VERSION = 2
    UNKNOWN_ENCODING = 4
    EXTRA_BYTES = 8


class DcxFault(enum.IntFlag):
    """What is wrong with a multi-page (DCX) file's table, or one of its pages."""

    PAST_END = 1
    NO_END = 2
    TOO_MANY = 4
    OVERLAP = 8
    NOT_PCX = 16
    NO_PAGES = 32


class ColourSource(enum.IntEnum):
    """Where an indexed picture's colours come from (NONE for true colour)."""

    NONE = 0
    HEADER = 1
    TRAILER = 2
    STANDARD = 3
    BLACK_WHITE = 4


class PcxError(ValueError):
    """The data is no PCX picture, or a layout that cannot be decoded."""


class DamageError(PcxError):
    """Raised instead of DamageWarning by ``strict=True``; ``picture`` holds what was read."""

    def __init__(self, message, picture):
        super().__init__(message)
        self.picture = picture
        self.damage = picture.facts.damage


class DamageWarning(UserWarning):
    """A damaged picture was returned: the message names the damage and the rows read."""


def _words(flags, kind, text):
    return [text(int(bit)) for bit in kind if flags & bit]


class Facts:
    """What a picture's header, trailer and (after decoding) data say about it.

    ``palette`` is a ``colours`` x 3 ``uint8`` array, or ``None`` for true
    colour; ``dpi`` is (horizontal, vertical); ``rows_decoded`` and
    ``data_bytes`` are 0 until the picture is decoded.
    """

    __slots__ = ("width", "height", "x_min", "y_min", "bits_per_pixel", "planes", "bytes_per_line", "version",
                 "encoding", "dpi", "colours", "colour_source", "palette", "damage", "notes", "rows_decoded",
                 "data_bytes")

    def __init__(self, raw):
        for name in ("width", "height", "x_min", "y_min", "bits_per_pixel", "planes", "bytes_per_line", "version",
                     "encoding", "colours", "rows_decoded", "data_bytes"):
            setattr(self, name, raw[name])
        self.dpi = (raw["h_dpi"], raw["v_dpi"])
        self.colour_source = ColourSource(raw["colour_source"])
        self.damage = Damage(raw["damage"])
        self.notes = Note(raw["notes"])
        if self.colours == TRUE_COLOUR:
            self.palette = None
        else:
            palette = numpy.frombuffer(raw["palette"], dtype=numpy.uint8).reshape(256, 3)
            self.palette = palette[:self.colours].copy()

    @property
    def true_colour(self):
        """True for 3 or 4 planes of 8 bits (no palette)."""
        return self.colours == TRUE_COLOUR

    @property
    def damage_words(self):
        """The codec's words for each damage, in bit order."""
        return _words(self.damage, Damage, _codec.damage_text)

    @property
    def note_words(self):
        """The codec's words for each note, in bit order."""
        return _words(self.notes, Note, _codec.note_text)

    def __repr__(self):
        fields = ", ".join(f"{name}={getattr(self, name)!r}" for name in self.__slots__ if name != "palette")
        return f"Facts({fields})"


class Picture:
    """A decoded picture: ``pixels`` (numpy array), ``palette`` (N x 3 or None) and ``facts``."""

    __slots__ = ("pixels", "palette", "facts")

    def __init__(self, pixels, facts):
        self.pixels = pixels
        self.facts = facts
        self.palette = facts.palette

    def __repr__(self):
        return f"Picture(pixels={self.pixels.dtype}{self.pixels.shape}, facts={self.facts!r})"


class Page:
    """One page of a file: ``index`` (from 0), ``offset`` and ``extent`` (its bytes), ``faults``.

    A PCX picture is one page, the whole file. A page of a DCX file whose
    ``extent`` is 0 is lost (its offset lies past the file's end).
    """

    __slots__ = ("index", "offset", "extent", "faults")

    def __init__(self, index, offset, extent, faults):
        self.index = index
        self.offset = offset
        self.extent = extent
        self.faults = DcxFault(faults)

    @property
    def lost(self):
        """True when the file holds none of the page."""
        return self.extent == 0

    @property
    def fault_words(self):
        """The codec's words for each fault, in bit order."""
        return _words(self.faults, DcxFault, _codec.dcx_fault_text)

    def __repr__(self):
        return f"Page(index={self.index}, offset={self.offset}, extent={self.extent}, faults={self.faults!r})"


def _pages(data):
    if not _codec.is_dcx(data):
        result, _ = _codec.inspect(data)
        if result != _codec.OK:
            raise _refused(result)
        with memoryview(data) as view:
            return [Page(0, 0, view.nbytes, 0)]
    result, listed = _codec.dcx_list(data)
    if result != _codec.OK:
        raise _refused(result)
    return [Page(i, offset, extent, faults) for i, (offset, extent, faults) in enumerate(listed)]


def _one_page(data, page, views):
    """The bytes of page `page` (None: the first) of a PCX picture or DCX file."""
    if page is None:
        page = 0
    if not isinstance(page, int) or isinstance(page, bool):
        raise TypeError(f"page must be an int, not {type(page).__name__}")
    if not _codec.is_dcx(data):
        if page != 0:
            raise IndexError(f"page {page} of a PCX picture, which is one page (0)")
        return data
    listed = _pages(data)
    if not 0 <= page < len(listed):
        raise IndexError(f"page {page} of a file of {len(listed)} pages (0 to {len(listed) - 1})")
    chosen = listed[page]
    if chosen.lost:
        raise PcxError(f"page {page} of {len(listed)} is lost: " + "; ".join(chosen.fault_words))
    view = memoryview(data).cast("B")[chosen.offset:chosen.offset + chosen.extent]
    views.append(view)
    return view


class _Source:
    """A source as one contiguous block of bytes, for the length of a ``with``."""

    def __init__(self, source):
        self._source = source
        self._map = None
        self._file = None
        self.views = []

    def __enter__(self):
        source = self._source
        if isinstance(source, (str, os.PathLike)):
            return self._mapped(source)
        if isinstance(source, (bytes, bytearray, memoryview, mmap.mmap)):
            return source
        if isinstance(source, numpy.ndarray):
            if source.dtype != numpy.uint8:
                raise TypeError(f"a source array must be of uint8, not {source.dtype}")
            return numpy.ascontiguousarray(source).reshape(-1)
        if hasattr(source, "read"):
            data = source.read()
            if not isinstance(data, (bytes, bytearray)):
                raise TypeError("a source file object must be opened in binary mode")
            return data
        raise TypeError("a source is bytes, bytearray, memoryview, mmap, a uint8 array, a path or a binary file, "
                        f"not {type(source).__name__}")

    def _mapped(self, path):
        self._file = open(path, "rb")
        if os.fstat(self._file.fileno()).st_size == 0:
            return b""
        try:
            self._map = mmap.mmap(self._file.fileno(), 0, access=mmap.ACCESS_READ)
        except BaseException:
            self._file.close()
            raise
        return self._map

    def __exit__(self, *exc):
        # A map closes only once nothing looks into it.
        for view in self.views:
            view.release()
        if self._map is not None:
            self._map.close()
        if self._file is not None:
            self._file.close()
        return False


def _refused(result):
    return PcxError(_codec.result_text(result))


def inspect(source, page=None):
    """Facts of a PCX picture from its header and trailer alone; nothing is decoded.

    ``source``: bytes, bytearray, memoryview, mmap, a uint8 array, a path
    (str or os.PathLike) or a binary file object. Raises PcxError (the
    codec's words) for data that is no PCX picture or whose layout cannot be
    decoded. Returns a Facts: width, height, bits_per_pixel, planes,
    bytes_per_line, version, dpi, colours, colour_source, palette, damage
    (at most Damage.NO_TRAILER, which the trailer alone tells) and notes.
    ``page``: the page of a multi-page (DCX) file, from 0 (None: the first);
    IndexError past the last, PcxError for a lost page.
    """
    held = _Source(source)
    with held as whole:
        result, raw = _codec.inspect(_one_page(whole, page, held.views))
    if result != _codec.OK:
        raise _refused(result)
    return Facts(raw)


def pages(source):
    """The pages of a PCX picture (one) or a multi-page DCX file, as Page objects.

    ``source`` as for inspect. Only the DCX table and each page's header are
    read: a page's ``faults`` (DcxFault) name what is wrong with it (lost
    past the file's end, overlapping, no PCX picture, ...). PcxError for a
    file that is neither.
    """
    with _Source(source) as data:
        return _pages(data)


def _format_of(facts, format):
    if format is None:
        if not facts.true_colour:
            return "indices"
        return "rgba" if facts.planes == 4 else "rgb"
    if format not in FORMATS:
        raise ValueError(f"format must be None, 'indices', 'rgb' or 'rgba', not {format!r}")
    if format == "indices" and facts.true_colour:
        raise ValueError("format 'indices' needs an indexed picture; this one is true colour ('rgb' or 'rgba')")
    return format


def _shape(facts, format):
    channels = FORMATS[format]
    return (facts.height, facts.width) if channels == 1 else (facts.height, facts.width, channels)


def _check_out(out, shape):
    needs = f"a writable C-contiguous uint8 numpy array of shape {shape}"
    if not isinstance(out, numpy.ndarray):
        raise ValueError(f"out must be {needs}, not {type(out).__name__}")
    if out.dtype != numpy.uint8 or out.shape != shape or not out.flags.c_contiguous or not out.flags.writeable:
        state = "C-contiguous" if out.flags.c_contiguous else "not C-contiguous"
        state += "" if out.flags.writeable else ", read-only"
        raise ValueError(f"out must be {needs}; got {out.dtype} {out.shape}, {state}")


def _damage_message(facts):
    words = "; ".join(facts.damage_words)
    return f"damaged PCX picture: {words} ({facts.rows_decoded} of {facts.height} rows read)"


def read(source, format=None, *, page=None, out=None, strict=False):
    """Decodes a PCX picture into a Picture (``pixels``, ``palette``, ``facts``).

    ``source`` as for inspect. ``format``: ``"indices"`` (H x W, indexed
    pictures only), ``"rgb"`` (H x W x 3) or ``"rgba"`` (H x W x 4); None
    means indices for an indexed picture, rgb for 3 planes, rgba for 4.
    ``out``: a C-contiguous uint8 array of exactly that shape to fill instead
    of allocating one (anything else raises ValueError naming what is
    needed). ``facts`` adds rows_decoded and data_bytes to inspect's.
    ``page``: the page of a multi-page (DCX) file, from 0 (None: the first).

    A damaged picture is returned with a DamageWarning naming each damage
    and the rows read (lost pixels are zero); with ``strict=True`` it raises
    DamageError, whose ``picture`` holds what was read. PcxError for what is
    no PCX picture or cannot be decoded.
    """
    return _read(source, format, page, out, strict)


def _read(source, format, page, out, strict):
    held = _Source(source)
    with held as whole:
        data = _one_page(whole, page, held.views)
        result, raw = _codec.inspect(data)
        if result != _codec.OK:
            raise _refused(result)
        format = _format_of(Facts(raw), format)
        shape = _shape(Facts(raw), format)
        if out is None:
            out = numpy.empty(shape, dtype=numpy.uint8)
        else:
            _check_out(out, shape)
        stride = raw["width"] * FORMATS[format]
        result, raw = _codec.decode(data, FORMATS[format], out, stride)
    if result != _codec.OK:
        raise _refused(result)
    picture = Picture(out, Facts(raw))
    if picture.facts.damage:
        message = _damage_message(picture.facts)
        if page:
            message = f"page {page}: {message}"
        if strict:
            raise DamageError(message, picture)
        # Attributed to the caller of read or decode, the line to look at.
        warnings.warn(message, DamageWarning, stacklevel=3)
    return picture


def decode(source, format=None, *, page=None, out=None, strict=False):
    """Decodes a PCX picture into a numpy uint8 array (``read(...).pixels``).

    ``source``: bytes, bytearray, memoryview, mmap, a uint8 array, a path
    (str or os.PathLike, mapped, not copied) or a binary file object.
    ``format``: ``"indices"`` (H x W, indexed pictures only), ``"rgb"``
    (H x W x 3) or ``"rgba"`` (H x W x 4, alpha 255 or the fourth plane);
    None means indices for an indexed picture, rgb for 3 planes, rgba for 4.
    ``out``: a C-contiguous uint8 array of exactly that shape, filled in
    place (anything else raises ValueError naming what is needed).
    ``page``: the page of a multi-page (DCX) file, from 0 (None: the first);
    IndexError past the last page, PcxError for a page the file lost.

    Errors: PcxError (a ValueError) with the codec's words for what is no
    PCX picture or cannot be decoded; a damaged picture is returned with a
    DamageWarning naming the damage and rows read, or with ``strict=True``
    raises DamageError (a PcxError).
    """
    return _read(source, format, page, out, strict).pixels


def _pixels_and_format(pixels):
    array = numpy.asarray(pixels)
    if array.dtype != numpy.uint8:
        raise ValueError(f"pixels must be uint8, not {array.dtype}")
    if array.ndim == 2:
        format = 1
    elif array.ndim == 3 and array.shape[2] in (3, 4):
        format = array.shape[2]
    else:
        raise ValueError(f"pixels must be H x W indices, H x W x 3 or H x W x 4; got shape {array.shape}")
    if array.shape[0] == 0 or array.shape[1] == 0:
        raise ValueError(f"a PCX picture is at least 1 x 1; got shape {array.shape}")
    packed = array.strides[1] == (1 if format == 1 else format) and (format == 1 or array.strides[2] == 1)
    if not packed or array.strides[0] < array.shape[1] * format:
        array = numpy.ascontiguousarray(array)
    return array, format


def _palette_bytes(palette):
    if palette is None:
        raise ValueError("indices need a palette of 2 to 256 colours")
    colours = numpy.asarray(palette, dtype=numpy.uint8)
    if colours.ndim != 2 or colours.shape[1] != 3 or not 2 <= colours.shape[0] <= 256:
        raise ValueError(f"a palette is N x 3 with 2 to 256 colours; got shape {colours.shape}")
    return colours.tobytes()


def encode(pixels, palette=None):
    """Encodes pixels as a version-5, run-length coded PCX file (bytes).

    ``pixels``: a uint8 array (any strides) of H x W indices, with
    ``palette`` an N x 3 array of 2 to 256 colours (2 colours black then
    white: 1 bit; up to 16: 4 planes of 1 bit; more: 8 bits and the
    256-colour trailer), or H x W x 3 (RGB, 3 planes), or H x W x 4 (RGBA,
    4 planes). ValueError for anything else, a zero size, a side above
    65536 (65534 for a layout of a byte a pixel), or an index at or beyond
    the palette's end.
    """
    array, format = _pixels_and_format(pixels)
    colours = None
    if format == 1:
        colours = _palette_bytes(palette)
    elif palette is not None:
        raise ValueError("a palette goes only with 2-D indices")
    data = _codec.encode(array, format, colours)
    if data is None:
        raise ValueError(_refusal(array, format, colours))
    return data


def _refusal(array, format, colours):
    if max(array.shape[:2]) > 65536:
        return f"a PCX picture's sides are at most 65536; got {array.shape[1]} x {array.shape[0]}"
    if array.shape[1] > 65534:
        # One byte a pixel in each plane line (8-bit and true-colour
        # layouts), and a line holds at most 65534 bytes.
        return f"a PCX line holds at most 65534 bytes: {array.shape[1]} pixels wide is too wide for this layout"
    if format == 1 and int(array.max()) >= len(colours) // 3:
        return f"index {int(array.max())} is beyond the palette's {len(colours) // 3} colours"
    return "the PCX encoder refused these pixels"


def write(path, pixels, palette=None):
    """Encodes as encode() does and writes the file at ``path`` whole or not at all.

    The bytes go to a temporary file beside it, which replaces ``path`` only
    once complete, so a failure or interrupt leaves the old file (or none).
    """
    data = encode(pixels, palette)
    path = os.fspath(path)
    folder, name = os.path.split(os.path.abspath(path))
    # A name of its own in the same folder (so the rename stays on one file
    # system), created as open() creates files, with the umask's permissions.
    while True:
        temporary = os.path.join(folder, f".{name}.{secrets.token_hex(6)}.part")
        try:
            handle = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_BINARY", 0), 0o666)
            break
        except FileExistsError:
            continue
    try:
        with os.fdopen(handle, "wb") as f:
            f.write(data)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
