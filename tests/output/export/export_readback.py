"""Reads back what `vkt-rs7 export` writes as .xlsx and CSV with independent readers: openpyxl and
LibreOffice for the workbook, Python's csv module for the text in a Russian and an English locale.
The measurement file comes from the independent fixture writer of the store tests.

usage: export_readback.py VKT_RS7 SOURCE_DIR WORK_DIR
"""
import csv
import datetime
import io
import os
import shutil
import subprocess
import sys
import unittest
import zipfile

EXE, SOURCE, WORK = sys.argv[1:4]
WRITER = os.path.join(SOURCE, "tests/store/measurement/write_device_b.py")

HEADER = [
    "N", "Дата", "Время", "Вид зависимости", "Материал", "\u00b5",
    "Модуль упругости, Fср, МН/м.кв", "Модуль упругости, F1, МН/м.кв",
    "Модуль упругости, F2, МН/м.кв", "Модуль упругости, F3, МН/м.кв",
    "Перемещение Lср, мкм.", "Перемещение L1, мкм.", "Перемещение L2, мкм.",
    "Перемещение L3, мкм.", "Сила удара Fmax.ср, H", "Сила удара Fmax1, H",
    "Сила удара Fmax2, H", "Сила удара Fmax3, H", "Примечание",
]
# The fixture's device B rows: N, date, time, P (under F1), R (under F2), comment.
DEVICE_B = [
    (1, datetime.date(2010, 2, 1), datetime.time(9, 15), 12.34, 5.67, "Плита №1, µ"),
    (2, datetime.date(2010, 2, 1), datetime.time(9, 20, 30), 12.35, 0.05, None),
    (3, datetime.date(2010, 2, 2), datetime.time(14, 0), 0.0, -1.5, "x" * 100),
]


def run(*args, env=None):
    result = subprocess.run([EXE, *args], capture_output=True, text=True, env=env)
    return result.returncode, result.stdout, result.stderr


def locale_env(name):
    env = dict(os.environ)
    env.pop("LANG", None)
    env.pop("LC_NUMERIC", None)
    env["LC_ALL"] = name
    return env


class Export(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        cls.db = os.path.join(WORK, "field.db")
        subprocess.run([sys.executable, WRITER, cls.db], check=True)

    def path(self, name):
        return os.path.join(WORK, name)

    def export(self, *args, env=None):
        code, _, err = run("export", *args, env=env)
        self.assertEqual(code, 0, err)

    def test_xlsx_read_by_openpyxl(self):
        import openpyxl

        out = self.path("b.xlsx")
        self.export(self.db, out)
        book = openpyxl.load_workbook(out)
        self.assertEqual(book.sheetnames, ["ВКТ-РС7"])
        sheet = book.active
        self.assertEqual(sheet.freeze_panes, "A2")
        rows = list(sheet.iter_rows(values_only=True))
        self.assertEqual(list(rows[0]), HEADER)
        self.assertEqual(len(rows), 1 + len(DEVICE_B))
        for (n, date, time, p, r, comment), row in zip(DEVICE_B, rows[1:]):
            self.assertEqual(row[0], n)
            self.assertIsInstance(row[0], (int, float))
            self.assertEqual(row[1], datetime.datetime.combine(date, datetime.time()))
            self.assertEqual(row[2], time)
            self.assertEqual(row[3:6], (None, None, None))  # device B: no dependency, material, µ
            self.assertEqual(row[7], p)
            self.assertEqual(row[8], r)
            for c in [6] + list(range(9, 18)):
                self.assertEqual(row[c], 0, c)
                self.assertNotIsInstance(row[c], str)
            self.assertEqual(row[18], comment)
        cell = sheet.cell(row=2, column=2)
        self.assertEqual(cell.number_format, "dd.mm.yyyy")
        self.assertEqual(sheet.cell(row=2, column=3).number_format, "hh:mm:ss")
        # Columns as wide as their longest text, the header included.
        widths = {c: sheet.column_dimensions[c].width for c in "ABGS"}
        self.assertLess(widths["A"], widths["B"])
        self.assertGreaterEqual(widths["G"], len(HEADER[6]))
        self.assertGreaterEqual(widths["S"], 60)

        # The device A rows of the same file on request, with an unchanged header.
        out_a = self.path("a.xlsx")
        self.export("--kind", "A", self.db, out_a)
        rows = list(openpyxl.load_workbook(out_a).active.iter_rows(values_only=True))
        self.assertEqual([r[0] for r in rows[1:]], [1, 2])
        self.assertEqual([r[7] for r in rows[1:]], [80, 81])

    def test_xlsx_read_by_libreoffice(self):
        office = shutil.which("libreoffice") or shutil.which("soffice")
        if office is None:
            self.skipTest("LibreOffice is not installed")
        out = self.path("lo.xlsx")
        self.export(self.db, out)
        target = self.path("lo")
        os.makedirs(target, exist_ok=True)
        subprocess.run([office, "--headless", "-env:UserInstallation=file://" + self.path("lo-profile"),
                        "--convert-to", "csv:Text - txt - csv (StarCalc):59,34,76,1,,1033,false,true,true,false,false,-1",
                        "--outdir", target, out], check=True, capture_output=True, timeout=180)
        names = sorted(os.listdir(target))
        self.assertEqual(len(names), 1, names)
        self.assertIn("ВКТ-РС7", names[0])  # one file per sheet, named after the sheet
        with open(os.path.join(target, names[0]), encoding="utf-8", newline="") as f:
            rows = list(csv.reader(f, delimiter=";"))
        self.assertEqual(rows[0], HEADER)
        self.assertEqual(rows[1][:3], ["1", "01.02.2010", "09:15:00"])
        self.assertEqual(rows[3][1:3], ["02.02.2010", "14:00:00"])
        self.assertEqual(rows[1][7:9], ["12.34", "5.67"])
        self.assertEqual(rows[3][8], "-1.5")
        self.assertEqual(rows[1][18], "Плита №1, µ")

    def read_csv(self, name, delimiter):
        with open(self.path(name), "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(b"\xef\xbb\xbf"), "no byte order mark")
        text = data[3:].decode("utf-8")
        self.assertIn("\r\n", text)
        return list(csv.reader(io.StringIO(text, newline=""), delimiter=delimiter))

    def test_csv_in_both_locales_and_with_options(self):
        self.export(self.db, self.path("ru.csv"), env=locale_env("ru_RU.UTF-8"))
        self.export(self.db, self.path("en.csv"), env=locale_env("en_US.UTF-8"))
        for name, delimiter, point in (("ru.csv", ";", ","), ("en.csv", ",", ".")):
            rows = self.read_csv(name, delimiter)
            self.assertEqual(rows[0], HEADER, name)
            self.assertEqual(len(rows), 1 + len(DEVICE_B))
            for (n, date, time, p, r, comment), row in zip(DEVICE_B, rows[1:]):
                self.assertEqual(len(row), 19)
                self.assertEqual(row[0], str(n))
                self.assertEqual(row[1], date.strftime("%d.%m.%Y"))
                self.assertEqual(row[2], time.strftime("%H:%M:%S"))
                self.assertEqual(float(row[7].replace(point, ".")), p)
                self.assertEqual(float(row[8].replace(point, ".")), r)
                self.assertEqual(row[18], comment or "")
            self.assertEqual(rows[1][7], "12" + point + "34")

        # Separator and decimal mark each by option, whatever the locale.
        self.export("--separator", "tab", "--decimal", ".", self.db, self.path("tab.txt"),
                    "--format", "csv", env=locale_env("ru_RU.UTF-8"))
        rows = self.read_csv("tab.txt", "\t")
        self.assertEqual(rows[1][7:9], ["12.34", "5.67"])
        code, _, err = run("export", "--separator", ",", "--decimal", ",", self.db, self.path("bad.csv"))
        self.assertEqual(code, 1)
        self.assertFalse(os.path.exists(self.path("bad.csv")))
        self.assertTrue(err.strip())

    def test_format_follows_the_option_then_the_extension(self):
        cases = [((), "x.xlsx", "zip"), ((), "x.XLS", "ole"), ((), "x.out", "ole"),
                 (("--format", "xlsx"), "y.out", "zip"), (("--format", "csv"), "y.xls", "csv")]
        for options, name, kind in cases:
            self.export(*options, self.db, self.path(name))
            with open(self.path(name), "rb") as f:
                head = f.read(8)
            if kind == "zip":
                self.assertTrue(zipfile.is_zipfile(self.path(name)), name)
            elif kind == "ole":
                self.assertEqual(head, b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", name)
            else:
                self.assertTrue(head.startswith(b"\xef\xbb\xbfN"), name)
        # An unwritable place: the reason in Russian, nothing left behind.
        before = sorted(os.listdir(WORK))
        code, _, err = run("export", self.db, self.path("missing/z.xlsx"))
        self.assertEqual(code, 1)
        self.assertIn("Не удалось записать книгу Excel", err)
        self.assertEqual(sorted(os.listdir(WORK)), before)
        code, _, err = run("export", "--format", "ods", self.db, self.path("z.ods"))
        self.assertEqual(code, 2)
        self.assertIn("--format", err)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
