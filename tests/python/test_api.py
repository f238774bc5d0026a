"""What the package shows a reader and a type checker: stubs that match the
functions, docstrings everywhere, the library's version."""
import ast
import inspect
import pathlib
import pydoc
import re

import raster_pcx

PACKAGE = pathlib.Path(raster_pcx.__file__).parent


def stub_functions(name):
    tree = ast.parse((PACKAGE / name).read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}, \
        {node.name for node in tree.body if isinstance(node, ast.ClassDef)}


def test_the_stubs_match_every_public_function_and_class():
    assert (PACKAGE / "py.typed").is_file()
    functions, classes = stub_functions("__init__.pyi")
    for name in raster_pcx.__all__:
        thing = getattr(raster_pcx, name)
        if inspect.isclass(thing):
            assert name in classes, name
        elif callable(thing):
            stub = functions[name]
            stubbed = [a.arg for a in stub.args.args] + [a.arg for a in stub.args.kwonlyargs]
            assert stubbed == list(inspect.signature(thing).parameters), name


def test_every_public_function_has_its_words():
    for name in raster_pcx.__all__:
        thing = getattr(raster_pcx, name)
        if inspect.isfunction(thing):
            assert thing.__doc__ and len(thing.__doc__) > 200, name
        elif inspect.isclass(thing):
            assert thing.__doc__, name
    text = pydoc.render_doc(raster_pcx.decode, renderer=pydoc.plaintext)
    for words in ("indices", "rgb", "rgba", "bytes", "mmap", "os.PathLike", "file object", "PcxError",
                  "DamageWarning", "DamageError", "strict", "out"):
        assert words in text, words


def test_the_version_is_the_librarys():
    header = (pathlib.Path(__file__).parents[2] / "raster/include/raster/pcx_codec.h").read_text()
    numbers = [re.search(rf"#define RASTER_VERSION_{part} (\d+)", header).group(1) for part in ("MAJOR", "MINOR", "PATCH")]
    assert raster_pcx.__version__ == ".".join(numbers)


def test_damage_and_note_bits_are_the_codecs():
    header = (pathlib.Path(__file__).parents[2] / "raster/include/raster/pcx_codec.h").read_text()
    sizes = {"MARK", "MAX_PAGES", "HEAD_BYTES"}
    for kind, prefix in ((raster_pcx.Damage, "PCX_DAMAGE_"), (raster_pcx.Note, "PCX_NOTE_"),
                         (raster_pcx.DcxFault, "PCX_DCX_")):
        defined = {name: int(value) for name, value in re.findall(rf"#define {prefix}(\w+) (\d+)", header)
                   if name not in sizes}
        assert defined == {member.name: member.value for member in kind}
