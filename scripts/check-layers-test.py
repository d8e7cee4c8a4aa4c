#!/usr/bin/env python3
"""Proves that check-layers.py still catches what it is there to catch.

    check-layers-test.py [ROOT]

Each case plants one wrong edge into a fresh copy of ROOT/src (sources and CMakeLists.txt only)
and expects the checker to fail, naming the place and the edge; the untouched copy must pass.
"""

import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
CHECKER = HERE / "check-layers.py"
COPIED = {".h", ".cpp", ".txt"}


def append(path, text):
    """Appends lines to a file (made when missing); the line number of the first one."""
    path.parent.mkdir(parents=True, exist_ok=True)
    old = path.read_text(encoding="utf-8") if path.exists() else ""
    if old and not old.endswith("\n"):
        old += "\n"
    path.write_text(old + text, encoding="utf-8")
    return old.count("\n") + 1


# name: (file under src/ to plant into, the planted text, what the failure must say; {line} is
# the planted line's number)
CASES = {
    "upward include": (
        "store/dbf/table.cpp", '#include "ui/mainwindow.h"\n',
        ['src/store/dbf/table.cpp:{line}:', 'store/dbf (vkt_dbf', '"ui/mainwindow.h" of ui', 'higher']),
    "sideways include from a new file": (
        "ui/planted.cpp", '#include "sim/simulator.h"\n',
        ['src/ui/planted.cpp:{line}:', '"sim/simulator.h" of sim', 'beside']),
    "relative spelling": (
        "store/dbf/planted.h", '#include "../../output/xls/workbook.h"\n',
        ['src/store/dbf/planted.h:{line}:', '"../../output/xls/workbook.h" of output/xls']),
    "downward include without its link": (
        "store/measurement/planted.cpp", '#include "output/xls/workbook.h"\n',
        ['src/store/measurement/planted.cpp:{line}:', 'does not link vkt_xls']),
    "a folder outside the table": (
        "gadgets/gadget.cpp", '#include "core/programstate.h"\n',
        ['src/gadgets/gadget.cpp: belongs to no layer']),
    "the windows linking the simulator": (
        "ui/CMakeLists.txt", "target_link_libraries(vkt_ui PRIVATE vkt_sim)\n",
        ['src/ui/CMakeLists.txt:{line}:', 'vkt_ui of ui', 'links vkt_sim', 'beside']),
    "upward link": (
        "store/dbf/CMakeLists.txt", "target_link_libraries(vkt_dbf PUBLIC vkt_measurement)\n",
        ['src/store/dbf/CMakeLists.txt:{line}:', 'vkt_dbf of store/dbf', 'links vkt_measurement', 'higher']),
    "link to a library it does not use": (
        "link/CMakeLists.txt", "target_link_libraries(vkt_link PRIVATE vkt_mdx)\n",
        ['src/link/CMakeLists.txt:{line}:', 'vkt_link links vkt_mdx but includes nothing']),
}


def copy_sources(root, into):
    def ignored(folder, names):
        return [name for name in names
                if (Path(folder) / name).is_file() and Path(name).suffix not in COPIED]
    shutil.copytree(root / "src", into / "src", ignore=ignored)


def run_checker(root):
    return subprocess.run([sys.executable, str(CHECKER), str(root)], capture_output=True, text=True)


def main():
    root = Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else HERE.parent
    failures = []
    with tempfile.TemporaryDirectory(prefix="check-layers-") as temporary:
        clean = Path(temporary) / "clean"
        copy_sources(root, clean)
        result = run_checker(clean)
        if result.returncode != 0:
            failures.append(f"the untouched copy fails (status {result.returncode}):\n{result.stderr}")
        for number, (name, (planted, text, expected)) in enumerate(CASES.items()):
            copy = Path(temporary) / f"case{number}"
            shutil.copytree(clean, copy)
            line = append(copy / "src" / planted, text)
            result = run_checker(copy)
            missing = [item.format(line=line) for item in expected
                       if item.format(line=line) not in result.stderr]
            if result.returncode != 1 or missing:
                failures.append(f"{name}: status {result.returncode}, missing {missing} in:\n"
                                f"{result.stderr}")
    for failure in failures:
        print(f"check-layers-test: {failure}", file=sys.stderr)
    print(f"check-layers-test: {len(CASES) + 1 - len(failures)} of {len(CASES) + 1} cases pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
