"""Prints an .xls workbook as JSON: every sheet's name and its cells as [type, value]."""
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1])
sheets = []
for sheet in book.sheets():
    rows = []
    for r in range(sheet.nrows):
        rows.append([[cell.ctype, cell.value] for cell in sheet.row(r)])
    sheets.append({"name": sheet.name, "rows": rows})
json.dump(sheets, sys.stdout, ensure_ascii=False)
