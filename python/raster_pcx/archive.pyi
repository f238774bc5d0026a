from typing import ContextManager, List, Optional, Sequence, TextIO, Tuple

from distributed import Client

from . import _archive

PROGRAM: str
DEFAULT_MAX_PIXELS: int
WHOLE: int
NOTED: int
DAMAGED: int
REFUSED: int
CONVERTED: int
CONVERTED_DAMAGED: int
KEPT: int
REFUSED_INPUT: int
FAILED: int
BATCHES_PER_WORKER: int
SMALLEST_BATCH: int
LARGEST_BATCH: int
FILE_OVERHEAD: int
CHECKED: List[str]
CONVERTED_KINDS: List[str]
PAGE_WORDS: str

# A page of a multi-page file as a worker takes it: (number, count, offset,
# extent, faults).
Page = Tuple[int, int, int, int, int]

def check_batch(paths: List[str], max_pixels: int) -> List[Tuple[int, str]]: ...
def convert_file(
    source: str,
    target: str,
    keep_alpha: bool,
    max_pixels: int,
    force: bool,
    page: Optional[Page] = ...,
    converter: Optional[_archive.Converter] = ...,
) -> Tuple[int, str]: ...
def convert_batch(
    jobs: List[Tuple[str, str, Optional[Page]]], keep_alpha: bool, max_pixels: int, force: bool
) -> List[Tuple[int, str]]: ...
def batches_of(sizes: Sequence[int], workers: int, batch_bytes: Optional[int] = ...) -> List[range]: ...
def check(
    src: str,
    client: Client,
    *,
    max_pixels: int = ...,
    batch_bytes: Optional[int] = ...,
    out: Optional[TextIO] = ...,
    progress: bool = ...,
    inputs: Optional[List[Tuple[str, str, int]]] = ...,
) -> Tuple[int, int, int, int]: ...
def convert(
    src: str,
    dst: str,
    client: Client,
    *,
    keep_alpha: bool = ...,
    force: bool = ...,
    max_pixels: int = ...,
    batch_bytes: Optional[int] = ...,
    out: Optional[TextIO] = ...,
    err: Optional[TextIO] = ...,
    progress: bool = ...,
    inputs: Optional[List[Tuple[str, str, int]]] = ...,
    pages: Optional[str] = ...,
) -> Tuple[int, int, int, int, int]: ...
def cluster(scheduler: Optional[str] = ..., workers: Optional[int] = ...) -> ContextManager[Client]: ...
def main(argv: Optional[List[str]] = ...) -> int: ...

class Progress:
    def __init__(self, shown: bool, total: int, label: str) -> None: ...
    def add(self, files: int) -> None: ...
    def end(self) -> None: ...

class LeaveInterruptsToTheClient:
    name: str
    def setup(self, worker: object) -> None: ...
