"""Writes a measurement file the way another program of the instrument family would, without our
engine: the 37-field layout from the published dBase IV format, device B rows (pull-off tests) and
a few device A rows, text in cp1251.

usage: write_device_b.py OUT [--dbase3-pad]
  --dbase3-pad  put a 0x00 after the header terminator and count it in the header length
"""
import struct
import sys

FIELDS = [
    ("N", "N", 18, 9), ("DATE", "C", 10, 0), ("TIME", "C", 8, 0), ("DEV_TYPE", "N", 4, 0),
    ("SERIAL", "N", 18, 9), ("NB_TYPE", "N", 4, 0), ("P", "N", 18, 9), ("R", "N", 18, 9),
    ("TYPE", "C", 15, 0), ("COMMENT", "C", 100, 0), ("PMAX", "N", 9, 0), ("DPMAX", "N", 9, 0),
    ("NV", "N", 9, 0), ("DATEV", "C", 10, 0), ("TIMEV", "C", 8, 0), ("P1", "N", 9, 0),
    ("D1", "N", 9, 0), ("D3", "N", 9, 0), ("D4", "N", 9, 0), ("D5", "N", 9, 0), ("P6", "N", 9, 0),
    ("D6", "N", 9, 0), ("P7", "N", 9, 0), ("D7", "N", 9, 0), ("P8", "N", 9, 0), ("D8", "N", 9, 0),
    ("D9", "N", 9, 0), ("D10", "N", 9, 0), ("T", "N", 18, 9), ("P2", "N", 18, 9), ("P3", "C", 250, 0),
    ("D2", "C", 150, 0), ("P4", "N", 18, 9), ("P9", "N", 18, 9), ("P5", "C", 200, 0),
    ("ZAV", "C", 20, 0), ("P10", "N", 18, 9),
]

# Device B rows: N, DATE, TIME, DEV_TYPE, SERIAL, P, R, ZAV, COMMENT.
DEVICE_B = [
    (1, "01.02.2010", "09:15:00", 2, 1234, 12.34, 5.67, "базовая", "Плита №1, µ"),
    (2, "01.02.2010", "09:20:30", 2, 1234, 12.35, 0.05, "3", ""),
    (3, "02.02.2010", "14:00:00", 2, 1234, 0.0, -1.5, "12", "x" * 100),
]
# Device A rows as an older program left them: N, DATE, TIME, P, R, and NB_TYPE blank or 0.
DEVICE_A = [
    (1, "12.05.2011", "10:00:00", 80.0, 95.0, None),
    (2, "12.05.2011", "10:05:00", 81.0, 96.0, 0),
]


def number(value, width, decimals):
    if value is None:
        return b" " * width
    text = ("%.*f" % (decimals, value)).encode("ascii")
    assert len(text) <= width
    return text.rjust(width)


def text(value, width):
    return value.encode("cp1251")[:width].ljust(width)


def record(values):
    out = b" "
    for name, kind, width, decimals in FIELDS:
        v = values.get(name)
        out += number(v, width, decimals) if kind == "N" else text(v or "", width)
    return out


def main(path, dbase3_pad):
    rows = []
    for n, date, time, dev, serial, p, r, zav, comment in DEVICE_B:
        rows.append(record({"N": n, "DATE": date, "TIME": time, "DEV_TYPE": dev, "SERIAL": serial,
                            "NB_TYPE": 1, "P": p, "R": r, "ZAV": zav, "COMMENT": comment}))
    for n, date, time, p, r, kind in DEVICE_A:
        rows.append(record({"N": n, "DATE": date, "TIME": time, "P": p, "R": r, "NB_TYPE": kind}))
    header_length = 32 + 32 * len(FIELDS) + 1 + (1 if dbase3_pad else 0)
    record_length = 1 + sum(f[2] for f in FIELDS)
    head = struct.pack("<B3BIHH", 3, 110, 2, 2, len(rows), header_length, record_length)
    head += bytes(16) + bytes([0, 0xC9, 0, 0])
    for name, kind, width, decimals in FIELDS:
        head += name.encode("ascii").ljust(11, b"\0") + kind.encode("ascii") + bytes(4)
        head += bytes([width, decimals]) + bytes(14)
    head += b"\r" + (b"\0" if dbase3_pad else b"")
    assert len(head) == header_length
    with open(path, "wb") as f:
        f.write(head + b"".join(rows) + b"\x1a")


if __name__ == "__main__":
    main(sys.argv[1], "--dbase3-pad" in sys.argv[2:])
