"""Independent readers for the XLS writer's tests.

  check_xls.py ole FILE                 strict compound file parse; prints the stream list
  check_xls.py xlrd FILE EXPECTED       compares every cell, sheet name and merged area
  check_xls.py csv EXPECTED CSV...      compares office suites' CSV exports, one file per sheet

EXPECTED holds lines of tab-separated fields (backslash escapes \\n, \\t, \\\\):
  sheet <index> <name>
  cell <sheet> <row> <col> n <number> | s <text> | b
  merge <sheet> <first row> <last row+1> <first col> <last col+1>
Prints "OK <cells compared>" or the first mismatches.
"""
import csv
import sys


def unescape(s):
    out, i = [], 0
    while i < len(s):
        if s[i] == "\\" and i + 1 < len(s):
            out.append({"n": "\n", "t": "\t", "\\": "\\"}[s[i + 1]])
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out)


def load_expected(path):
    sheets, cells, merges = {}, {}, {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if parts[0] == "sheet":
                sheets[int(parts[1])] = unescape(parts[2])
            elif parts[0] == "cell":
                key = (int(parts[1]), int(parts[2]), int(parts[3]))
                kind = parts[4]
                value = float(parts[5]) if kind == "n" else unescape(parts[5]) if kind == "s" else ""
                cells[key] = (kind, value)
            elif parts[0] == "merge":
                merges.setdefault(int(parts[1]), []).append(tuple(int(p) for p in parts[2:6]))
    return sheets, cells, merges


def same_number(a, b):
    return a == b or abs(a - b) <= 1e-12 * max(abs(a), abs(b))


def report(problems, compared):
    if problems:
        print("\n".join(problems[:20]))
        print("MISMATCHES %d" % len(problems))
    else:
        print("OK %d" % compared)


def check_ole(path):
    import olefile
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
    print(ole.listdir(streams=True, storages=True))
    ole.close()


def check_xlrd(path, expected_path):
    import xlrd
    sheets, cells, merges = load_expected(expected_path)
    book = xlrd.open_workbook(path, formatting_info=True)
    problems, compared = [], 0
    if book.nsheets != len(sheets):
        problems.append("sheets: %d, expected %d" % (book.nsheets, len(sheets)))
    for index in range(min(book.nsheets, len(sheets))):
        sheet = book.sheet_by_index(index)
        if sheet.name != sheets[index]:
            problems.append("sheet %d named %r, expected %r" % (index, sheet.name, sheets[index]))
        got_merges = sorted(tuple(m) for m in sheet.merged_cells)
        if got_merges != sorted(merges.get(index, [])):
            problems.append("sheet %d merged areas %r, expected %r" % (index, got_merges[:5], merges.get(index, [])[:5]))
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                want = cells.get((index, r, c))
                if want is None:
                    if cell.ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                        problems.append("unexpected cell %d:%d:%d = %r" % (index, r, c, cell.value))
                    continue
                compared += 1
                kind, value = want
                if kind == "n":
                    ok = cell.ctype == xlrd.XL_CELL_NUMBER and same_number(cell.value, value)
                elif kind == "s":
                    ok = cell.ctype == xlrd.XL_CELL_TEXT and cell.value == value
                else:
                    ok = cell.ctype == xlrd.XL_CELL_BLANK
                if not ok:
                    problems.append("cell %d:%d:%d is %d %r, expected %s %r" % (index, r, c, cell.ctype, cell.value, kind, value))
        for (s, r, c) in cells:
            if s == index and (r >= sheet.nrows or c >= sheet.ncols):
                problems.append("cell %d:%d:%d missing" % (s, r, c))
    report(problems, compared)


def check_csv(expected_path, csv_paths):
    sheets, cells, _ = load_expected(expected_path)
    problems, compared = [], 0
    if len(csv_paths) != len(sheets):
        problems.append("%d CSV files for %d sheets" % (len(csv_paths), len(sheets)))
    for index, path in enumerate(csv_paths):
        with open(path, encoding="utf-8", newline="") as f:
            rows = list(csv.reader(f))
        seen = set()
        for r, row in enumerate(rows):
            for c, text in enumerate(row):
                want = cells.get((index, r, c))
                if want is None or want[0] == "b":
                    if text != "":
                        problems.append("unexpected %d:%d:%d = %r" % (index, r, c, text))
                    continue
                seen.add((r, c))
                compared += 1
                kind, value = want
                if kind == "n":
                    try:
                        ok = same_number(float(text), value)
                    except ValueError:
                        ok = False
                else:
                    ok = text == value
                if not ok:
                    problems.append("%s %d:%d:%d = %r, expected %r" % (path, index, r, c, text, value))
        for (s, r, c), (kind, _) in cells.items():
            if s == index and kind != "b" and (r, c) not in seen:
                problems.append("cell %d:%d:%d missing from %s" % (s, r, c, path))
    report(problems, compared)


if __name__ == "__main__":
    mode = sys.argv[1]
    if mode == "ole":
        check_ole(sys.argv[2])
    elif mode == "xlrd":
        check_xlrd(sys.argv[2], sys.argv[3])
    elif mode == "csv":
        check_csv(sys.argv[2], sys.argv[3:])
