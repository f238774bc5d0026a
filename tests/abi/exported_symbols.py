#!/usr/bin/env python3
"""Compares what a shared library exports with what its public headers declare.

    exported_symbols.py LIBRARY SONAME HEADER [HEADER...]

Every function a header declares must be a defined dynamic symbol of the
library, carrying a symbol version; every defined dynamic symbol must be one
of those functions (the version nodes themselves aside). The library's
SONAME must be SONAME. Each difference is named; any one fails.

The headers are read as text: comments and preprocessor lines go, then
every top-level declaration of the form `type name(arguments);` that is not
a typedef counts as a function. A header in which none is found fails too,
so that a reader broken by a new style of declaration cannot pass quietly.
"""
import re
import subprocess
import sys


def declared_functions(header_text):
    text = re.sub(r"/\*.*?\*/", " ", header_text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    text = re.sub(r"\\\n", " ", text)
    text = "\n".join(line for line in text.splitlines() if not line.lstrip().startswith("#"))
    text = re.sub(r'extern\s+"C"\s*\{', " ", text)
    # Struct bodies hold members, not functions.
    while True:
        stripped = re.sub(r"\{[^{}]*\}", " ", text)
        if stripped == text:
            break
        text = stripped
    names = set()
    for statement in text.split(";"):
        statement = " ".join(statement.split())
        if not statement or statement.startswith("typedef"):
            continue
        match = re.search(r"([A-Za-z_][A-Za-z0-9_]*)\s*\(([^()]*)\)$", statement)
        if match and "(" not in statement[: match.start()]:
            names.add(match.group(1))
    return names


def exported_symbols(library):
    out = subprocess.run(["nm", "-D", "--defined-only", library], check=True, capture_output=True, text=True).stdout
    functions, unversioned, nodes = {}, [], set()
    for line in out.splitlines():
        fields = line.split()
        if len(fields) < 3:
            continue
        kind, name = fields[1], fields[2]
        if kind == "A":  # a version node: RASTER_1
            nodes.add(name)
            continue
        base, _, version = name.partition("@")
        functions[base] = (kind, version.lstrip("@"))
        if not version:
            unversioned.append(base)
    return functions, unversioned, nodes


def soname(library):
    out = subprocess.run(["objdump", "-p", library], check=True, capture_output=True, text=True).stdout
    match = re.search(r"^\s*SONAME\s+(\S+)", out, flags=re.M)
    return match.group(1) if match else None


def main(argv):
    if len(argv) < 4:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    library, want_soname, headers = argv[1], argv[2], argv[3:]
    problems = []
    declared = set()
    for header in headers:
        with open(header, encoding="utf-8") as f:
            found = declared_functions(f.read())
        if not found:
            problems.append(f"{header}: no function declarations found")
        declared |= found
    exported, unversioned, nodes = exported_symbols(library)
    for name in sorted(declared - exported.keys()):
        problems.append(f"missing: {name} is declared but not exported")
    for name in sorted(exported.keys() - declared):
        problems.append(f"extra: {name} ({exported[name][0]}) is exported but no public header declares it")
    for name in sorted(set(unversioned) & declared):
        problems.append(f"unversioned: {name} has no symbol version")
    for name in sorted(declared & exported.keys()):
        kind, version = exported[name]
        if kind not in "TtWi":
            problems.append(f"not a function: {name} is exported as '{kind}'")
        elif version and version not in nodes:
            problems.append(f"unknown version: {name}@{version}")
    have_soname = soname(library)
    if have_soname != want_soname:
        problems.append(f"SONAME is {have_soname}, not {want_soname}")
    for problem in problems:
        print(f"{library}: {problem}", file=sys.stderr)
    if problems:
        return 1
    print(f"{library}: {len(declared)} functions, as declared, SONAME {have_soname}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
