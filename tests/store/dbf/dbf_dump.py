"""Prints a table file as dbfread sees it, one fact per line, for comparison in the C++ tests.

header <version> <year byte> <month> <day> <count> <header length> <record length> <mdx flag> <driver>
field <name> <type> <length> <decimals>
row <n>
<name>=<value>      numbers with 9 decimals, None when empty, text as UTF-8
"""
import sys

from dbfread import DBF


def value_text(v):
    if v is None:
        return "None"
    if isinstance(v, (int, float)):
        return "%.9f" % v
    return str(v)


def main(path):
    sys.stdout.reconfigure(encoding="utf-8")
    table = DBF(path, load=False, char_decode_errors="strict")
    h = table.header
    print("header", h.dbversion, h.year, h.month, h.day, h.numrecords, h.headerlen, h.recordlen,
          h.mdx_flag, h.language_driver)
    for f in table.fields:
        print("field", f.name, f.type, f.length, f.decimal_count)
    for n, record in enumerate(table, start=1):
        print("row", n)
        for name, value in record.items():
            print("%s=%s" % (name, value_text(value)))


if __name__ == "__main__":
    main(sys.argv[1])
