import enum
import mmap
import os
from typing import BinaryIO, Literal, Optional, Union

import numpy
import numpy.typing

Source = Union[bytes, bytearray, memoryview, mmap.mmap, numpy.typing.NDArray[numpy.uint8], str, os.PathLike[str],
               BinaryIO]
Format = Optional[Literal["indices", "rgb", "rgba"]]
Pixels = numpy.typing.NDArray[numpy.uint8]

__version__: str
TRUE_COLOUR: int

class Damage(enum.IntFlag):
    SHORT_DATA: int
    RUN_PAST_END: int
    NO_TRAILER: int
    MISREAD_RUNS: int

class Note(enum.IntFlag):
    ODD_LINE_BYTES: int
    UNKNOWN_VERSION: int
    UNKNOWN_ENCODING: int
    EXTRA_BYTES: int

class DcxFault(enum.IntFlag):
    PAST_END: int
    NO_END: int
    TOO_MANY: int
    OVERLAP: int
    NOT_PCX: int
    NO_PAGES: int

class ColourSource(enum.IntEnum):
    NONE: int
    HEADER: int
    TRAILER: int
    STANDARD: int
    BLACK_WHITE: int

class PcxError(ValueError): ...

class DamageError(PcxError):
    picture: Picture
    damage: Damage
    def __init__(self, message: str, picture: Picture) -> None: ...

class DamageWarning(UserWarning): ...

class Facts:
    width: int
    height: int
    x_min: int
    y_min: int
    bits_per_pixel: int
    planes: int
    bytes_per_line: int
    version: int
    encoding: int
    dpi: tuple[int, int]
    colours: int
    colour_source: ColourSource
    palette: Optional[Pixels]
    damage: Damage
    notes: Note
    rows_decoded: int
    data_bytes: int
    @property
    def true_colour(self) -> bool: ...
    @property
    def damage_words(self) -> list[str]: ...
    @property
    def note_words(self) -> list[str]: ...

class Picture:
    pixels: Pixels
    palette: Optional[Pixels]
    facts: Facts

class Page:
    index: int
    offset: int
    extent: int
    faults: DcxFault
    def __init__(self, index: int, offset: int, extent: int, faults: int) -> None: ...
    @property
    def lost(self) -> bool: ...
    @property
    def fault_words(self) -> list[str]: ...

def inspect(source: Source, page: Optional[int] = None) -> Facts: ...
def pages(source: Source) -> list[Page]: ...
def read(source: Source, format: Format = None, *, page: Optional[int] = None, out: Optional[Pixels] = None,
         strict: bool = False) -> Picture: ...
def decode(source: Source, format: Format = None, *, page: Optional[int] = None, out: Optional[Pixels] = None,
           strict: bool = False) -> Pixels: ...
def encode(pixels: numpy.typing.ArrayLike, palette: Optional[numpy.typing.ArrayLike] = None) -> bytes: ...
def write(path: Union[str, os.PathLike[str]], pixels: numpy.typing.ArrayLike,
          palette: Optional[numpy.typing.ArrayLike] = None) -> None: ...
