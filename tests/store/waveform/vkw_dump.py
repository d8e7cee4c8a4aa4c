#!/usr/bin/env python3
"""Prints a waveform file (.vkw) as docs/waveform-file.md lays it out, independently of the
program's reader: the header, the object's parameters, and per record its date, time, first and
last stored value, checksum verdict and first sample.

    vkw_dump.py FILE.vkw
"""
import struct
import sys
import zlib


def checked(data, start, length):
    """Whether the CRC-32 after the `length` bytes at `start` is theirs."""
    return zlib.crc32(data[start:start + length]) == struct.unpack_from('<I', data, start + length)[0]


data = open(sys.argv[1], 'rb').read()
magic, version, header = struct.unpack_from('<8sHH', data, 0)
if magic != b'VKTWAVE\x1a':
    sys.exit('not a waveform file')
out = ['version %d header %d' % (version, header)]
if version >= 2 and header > 12:
    (length,) = struct.unpack_from('<I', data, 12)
    flag, modulus = struct.unpack_from('<Bd', data, 16)
    at, texts = 25, []
    for i in range(5):
        if i == 4 and at == 16 + length:  # the firmware version came later
            break
        (n,) = struct.unpack_from('<H', data, at)
        texts.append(data[at + 2:at + 2 + n].decode('utf-8'))
        at += 2 + n
    out.append('parameters %s %s %s' % ('ok' if checked(data, 12, 4 + length) else 'bad', '|'.join(texts),
                                        repr(modulus) if flag == 1 else 'none'))
at = header
while at < len(data):
    (length,) = struct.unpack_from('<I', data, at)
    body = data[at + 4:at + 4 + length]
    values = struct.unpack_from('<12H', body, 18)
    out.append('record %s %s %d %d %s %d' % (body[:10].decode(), body[10:18].decode(), values[0], values[11],
                                             'ok' if checked(data, at, 4 + length) else 'bad',
                                             struct.unpack_from('<I', body, 42)[0]))
    at += 4 + length + 4
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
