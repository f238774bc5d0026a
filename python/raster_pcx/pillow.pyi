from typing import IO

from PIL import Image, ImageFile

class PcxImageFile(ImageFile.ImageFile):
    format: str
    format_description: str

class DcxImageFile(PcxImageFile):
    @property
    def n_frames(self) -> int: ...
    @property
    def is_animated(self) -> bool: ...
    def seek(self, frame: int) -> None: ...
    def tell(self) -> int: ...

def _save(im: Image.Image, fp: IO[bytes], filename: str) -> None: ...
