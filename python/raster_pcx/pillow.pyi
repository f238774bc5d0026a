from typing import IO

from PIL import Image, ImageFile

class PcxImageFile(ImageFile.ImageFile):
    format: str
    format_description: str

def _save(im: Image.Image, fp: IO[bytes], filename: str) -> None: ...
