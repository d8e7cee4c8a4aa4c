"""Prints the Unicode code point of every byte 0x80-0xFF in a Python code page, '-' if undefined."""
import sys

page = sys.argv[1]
out = []
for b in range(0x80, 0x100):
    try:
        out.append("%04X" % ord(bytes([b]).decode(page)))
    except UnicodeDecodeError:
        out.append("-")
print(" ".join(out))
