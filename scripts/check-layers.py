#!/usr/bin/env python3
"""Checks that the program's layers only ever lean on the layers below them.

    check-layers.py [--edges] [ROOT]

ROOT is the project folder (default: this script's parent's parent). Every `#include "..."` in
ROOT/src and every library named in a `target_link_libraries` of ROOT/src/**/CMakeLists.txt must
point down the order in LAYERS; an edge to a higher layer or to a neighbour on the same level
fails the check with the file, the line and the edge. An include of another library's header
also needs that library in the includer's own link list (not only through a third one), and a
library may link only what it includes. --edges prints the edges found, for keeping the link
lists and docs/layers.md up to date. The exit status is 0 when all is well, 1 on a violation,
2 on a usage error.
"""

import argparse
import os
import re
import sys
from pathlib import Path

# The order, top to bottom. A library may use the libraries of the levels below its own, never
# one of its own level or above. docs/layers.md says why each edge exists.
LAYERS = [
    ["app"],
    ["ui", "sim"],
    ["output/export", "output/report", "output/protocol"],
    ["store/measurement", "store", "link/serial"],
    ["link"],
    ["image", "store/mdx", "store/waveform", "output/xls", "output/pdf"],
    ["store/dbf"],
    ["core"],
]

# Each layer's library and the files under src/ it owns: a folder owns everything below it that
# no deeper folder or listed file claims.
MODULES = {
    "app": ("vkt_app", ["app/"]),
    "ui": ("vkt_ui", ["ui/"]),
    "sim": ("vkt_sim", ["sim/"]),
    "output/export": ("vkt_export", ["output/export/"]),
    "output/report": ("vkt_report", ["output/report/"]),
    "output/protocol": ("vkt_protocol", ["output/protocol/"]),
    "store/measurement": ("vkt_measurement", ["store/measurement/"]),
    "store": ("vkt_store", ["store/"]),
    # The serial port driver and the download controller are the Qt part of the link.
    "link/serial": ("vkt_serial", ["link/serialportdriver.h", "link/serialportdriver.cpp",
                                   "link/downloadcontroller.h", "link/downloadcontroller.cpp",
                                   "link/portlist.h", "link/portlist.cpp"]),
    "link": ("vkt_link", ["link/"]),
    "image": ("vkt_image", ["image/"]),
    "store/mdx": ("vkt_mdx", ["store/mdx/"]),
    "store/waveform": ("vkt_waveform", ["store/waveform/"]),
    "store/dbf": ("vkt_dbf", ["store/dbf/"]),
    "output/xls": ("vkt_xls", ["output/xls/"]),
    "output/pdf": ("vkt_pdf", ["output/pdf/"]),
    "core": ("vkt_core", ["core/"]),
}

SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc", ".cxx"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def level_of():
    levels = {}
    for depth, names in enumerate(LAYERS):
        for name in names:
            levels[name] = len(LAYERS) - depth
    return levels


def module_of(path):
    """The module owning a path relative to src/ (with '/' separators), or None."""
    best, best_len = None, -1
    for name, (_, owned) in MODULES.items():
        for item in owned:
            if item.endswith("/"):
                hit = path.startswith(item)
            else:
                hit = path == item
            # A listed file beats any folder; a deeper folder beats a shallower one.
            weight = 10_000 if not item.endswith("/") else len(item)
            if hit and weight > best_len:
                best, best_len = name, weight
    return best


def resolve(src, including, spelled):
    """The path under src/ an include names: next to the including file first, as the compiler
    looks, then from src/. None when it leaves src/."""
    beside = (src / including).parent / spelled
    if beside.is_file():
        target = Path(os.path.normpath(beside))
    else:
        target = Path(os.path.normpath(src / spelled))
    try:
        return target.relative_to(src).as_posix()
    except ValueError:
        return None


def read_includes(src):
    """(file under src/, line number, spelled path, resolved path) of every quoted include."""
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
            continue
        rel = path.relative_to(src).as_posix()
        with open(path, encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                match = INCLUDE.match(line)
                if match:
                    found.append((rel, number, match.group(1), resolve(src, rel, match.group(1))))
    return found


def cmake_commands(text, command):
    """The argument lists of every call of a CMake command in a file's text."""
    text = re.sub(r"#[^\n]*", "", text)
    calls = []
    for match in re.finditer(r"\b" + command + r"\s*\(", text, re.IGNORECASE):
        depth, end = 1, match.end()
        while end < len(text) and depth:
            depth += {"(": 1, ")": -1}.get(text[end], 0)
            end += 1
        calls.append((text[: match.start()].count("\n") + 1, text[match.end(): end - 1].split()))
    return calls


def read_links(src):
    """{library: [(CMakeLists.txt under src/, line, linked library)]} for our own libraries."""
    ours = {library for library, _ in MODULES.values()}
    links = {library: [] for library in ours}
    for path in sorted(src.rglob("CMakeLists.txt")):
        rel = path.relative_to(src).as_posix()
        text = path.read_text(encoding="utf-8")
        for line, args in cmake_commands(text, "target_link_libraries"):
            if args and args[0] in ours:
                links[args[0]] += [(rel, line, item) for item in args[1:] if item in ours]
    return links


def check(root, show_edges):
    src = root / "src"
    if not src.is_dir():
        print(f"check-layers: {src} is not a folder", file=sys.stderr)
        return 2
    levels = level_of()
    if set(levels) != set(MODULES):
        print(f"check-layers: LAYERS and MODULES name different layers: "
              f"{sorted(set(levels) ^ set(MODULES))}", file=sys.stderr)
        return 2
    library = {name: lib for name, (lib, _) in MODULES.items()}
    module_of_library = {lib: name for name, lib in library.items()}
    problems = []
    used = {}  # (from module, to module): the first include that makes the edge
    edges = {}

    def placement(name):
        return f"{name} ({library[name]}, level {levels[name]})"

    unowned = set()
    for including, line, spelled, target in read_includes(src):
        source, dest = module_of(including), module_of(target) if target else None
        if source is None and including not in unowned:
            unowned.add(including)
            problems.append(f"src/{including}: belongs to no layer; add its folder to LAYERS and "
                            f"MODULES")
        if source is None or dest is None or source == dest:
            continue
        used.setdefault((source, dest), (including, line, spelled))
        kind = "header" if including.endswith((".h", ".hpp")) else "source"
        edges.setdefault((source, dest), set()).add(kind)
        if levels[dest] < levels[source]:
            continue
        way = "a higher layer" if levels[dest] > levels[source] else "a layer beside it"
        problems.append(f"src/{including}:{line}: {placement(source)} includes \"{spelled}\" of "
                        f"{placement(dest)}, {way}")

    links = read_links(src)
    for lib, items in sorted(links.items()):
        source = module_of_library[lib]
        for cmake_file, line, linked in items:
            dest = module_of_library[linked]
            if levels[dest] >= levels[source]:
                way = "a higher layer" if levels[dest] > levels[source] else "a layer beside it"
                problems.append(f"src/{cmake_file}:{line}: {lib} of {placement(source)} links "
                                f"{linked} of {placement(dest)}, {way}")
            elif (source, dest) not in used:
                problems.append(f"src/{cmake_file}:{line}: {lib} links {linked} but includes "
                                f"nothing of {dest}")
    for (source, dest), (including, line, spelled) in sorted(used.items()):
        linked = {item for _, _, item in links[library[source]]}
        if library[dest] not in linked and levels[dest] < levels[source]:
            problems.append(f"src/{including}:{line}: {library[source]} includes \"{spelled}\" of "
                            f"{dest} but does not link {library[dest]} itself")

    if show_edges:
        for (source, dest), kinds in sorted(edges.items()):
            scope = "PUBLIC" if "header" in kinds else "PRIVATE"
            print(f"{library[source]} -> {library[dest]}  ({scope})")
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check-layers: {len(problems)} edge(s) against the layer order "
              f"(scripts/check-layers.py, docs/layers.md)", file=sys.stderr)
        return 1
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("root", nargs="?", default=Path(__file__).resolve().parent.parent, type=Path)
    parser.add_argument("--edges", action="store_true", help="print the library edges found")
    arguments = parser.parse_args()
    return check(arguments.root.resolve(), arguments.edges)


if __name__ == "__main__":
    sys.exit(main())
