#!/usr/bin/env python3
"""Writes the fuzz corpus of the TrueType reader: small fonts built from the table layouts of the
TrueType reference, a composite glyph among them, and damaged copies.

    make_corpus.py   (run in fuzz/pdf)
"""
import struct


def name_table(postscript):
    """A 'name' table of one Windows record: name 6, in UTF-16BE."""
    text = postscript.encode('utf-16-be')
    return struct.pack('>HHH', 0, 1, 6 + 12) + struct.pack('>HHHHHH', 3, 1, 0x409, 6, len(text), 0) + text


def font(glyphs, long_loca=True, metrics=None, name=None):
    """glyphs: outline bytes per glyph; every glyph 500 units wide."""
    n = len(glyphs)
    metrics = n if metrics is None else metrics
    glyf = b''
    offsets = []
    for g in glyphs:
        offsets.append(len(glyf))
        glyf += g + b'\0' * (-len(g) % 4)
    offsets.append(len(glyf))
    loca = b''.join(struct.pack('>I' if long_loca else '>H', o if long_loca else o // 2) for o in offsets)
    head = struct.pack('>IIIIHH', 0x00010000, 0x00010000, 0, 0x5F0F3CF5, 0, 1000)
    head += b'\0' * 16 + struct.pack('>hhhhHHhhh', 0, -200, 1000, 800, 0, 8, 2, 1 if long_loca else 0, 0)
    hhea = struct.pack('>I', 0x00010000) + struct.pack('>hhh', 800, -200, 0) + b'\0' * 24 + struct.pack('>H', metrics)
    maxp = struct.pack('>IH', 0x00005000, n)
    hmtx = struct.pack('>Hh', 500, 0) * metrics + struct.pack('>h', 0) * (n - metrics)
    tables = {b'glyf': glyf, b'head': head, b'hhea': hhea, b'hmtx': hmtx, b'loca': loca, b'maxp': maxp}
    if name is not None:
        tables[b'name'] = name_table(name)
    out = struct.pack('>IHHHH', 0x00010000, len(tables), 64, 2, 32)
    offset = 12 + 16 * len(tables)
    body = b''
    for tag, data in sorted(tables.items()):
        out += tag + struct.pack('>III', 0, offset + len(body), len(data))
        body += data + b'\0' * (-len(data) % 4)
    return out + body


# A simple glyph: one contour of three points.
simple = struct.pack('>hhhhh', 1, 0, 0, 100, 100) + struct.pack('>HH', 2, 0) + bytes([1, 1, 1]) + bytes(6) + bytes(6)
# A composite glyph of glyphs 1 and 2 (words as arguments, the second scaled), and one naming a
# glyph the font has not.
composite = struct.pack('>hhhhh', -1, 0, 0, 100, 100) + struct.pack('>HHhh', 0x0021, 1, 0, 0) + \
    struct.pack('>HHbbh', 0x0008, 2, 5, 5, 0x4000)
stray = struct.pack('>hhhhh', -1, 0, 0, 100, 100) + struct.pack('>HHbb', 0x0000, 900, 0, 0)
cut_short = struct.pack('>hhhhh', -1, 0, 0, 100, 100) + struct.pack('>H', 0x0021)

files = {
    'simple.ttf': font([b'', simple, simple]),
    'composite.ttf': font([b'', simple, simple, composite, stray, cut_short], name='Test-Composite'),
    'short-loca.ttf': font([b'', simple, composite], long_loca=False, metrics=2),
}
files['cut-directory.ttf'] = files['simple.ttf'][:40]
files['cut-tables.ttf'] = files['composite.ttf'][:-20]
for name, data in files.items():
    with open('corpus/' + name, 'wb') as f:
        f.write(data)
