"""Prints every row of a measurement file, one line each, read by dbfread.

Each field becomes NAME=VALUE with the value tagged by the type dbfread gave it:
f:<number with 9 decimals> for a float, i:<number> for an integer, s:<text> for text,
and - for an empty field. Fields are separated by tabs, in the file's order.
"""
import sys

from dbfread import DBF


def tagged(value):
    if value is None:
        return "-"
    if isinstance(value, float):
        return "f:%.9f" % value
    if isinstance(value, int):
        return "i:%d" % value
    if isinstance(value, str):
        return "s:" + value
    return "?:" + repr(value)


def main(path):
    table = DBF(path, load=True)
    if table.encoding != "cp1251":
        raise SystemExit("language driver read as " + table.encoding)
    out = sys.stdout
    for record in table:
        out.write("\t".join(name + "=" + tagged(value) for name, value in record.items()))
        out.write("\n")


if __name__ == "__main__":
    main(sys.argv[1])
