#!/usr/bin/env python3
"""Writes the fuzz corpus of the waveform file from its documented layout (docs/waveform-file.md),
independently of the program's own writer; the unit tests read these files too.

    make_corpus.py   (run in fuzz/waveform)
"""
import struct
import zlib


def record(date, time, values, seed, extra=b''):
    body = date.encode() + time.encode() + struct.pack('<12H', *values)
    body += b''.join(struct.pack('<I', (seed * 7 + i) & 0xFFFFFFFF) for i in range(3 * 1020)) + extra
    framed = struct.pack('<I', len(body)) + body
    return framed + struct.pack('<I', zlib.crc32(framed))


head = b'VKTWAVE\x1a' + struct.pack('<HH', 1, 12)
a = record('12.05.2011', '10:00:00', range(100, 112), 1)
b = record('01.01.2000', '00:00:00', [65535] * 12, 2)
bad = bytearray(b)
bad[500] ^= 0x40  # a sample, not the key
files = {
    'header-only.vkw': head,
    'two-records.vkw': head + a + b,
    'bad-checksum.vkw': head + a + bytes(bad),
    'cut-record.vkw': head + a + b[:100],
    # A later version: two more header bytes and a longer body.
    'newer-version.vkw': b'VKTWAVE\x1a' + struct.pack('<HH', 2, 14) + b'\0\0' +
                         record('12.05.2011', '10:00:00', range(12), 3, b'new'),
    'foreign.vkw': b'PK\x03\x04not ours',
}
for name, data in files.items():
    with open('corpus/' + name, 'wb') as f:
        f.write(data)
