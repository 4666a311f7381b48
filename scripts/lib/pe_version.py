#!/usr/bin/env python3
"""Prints the version resource of each PE file given: the fixed file and
product versions (VS_FIXEDFILEINFO) and the FileVersion and ProductVersion
texts, one line per file: NAME FILE PRODUCT FILETEXT PRODUCTTEXT."""
import struct
import sys


def fixed(data):
    # VS_FIXEDFILEINFO starts with its signature; the versions follow.
    at = data.find(struct.pack('<I', 0xFEEF04BD))
    if at < 0:
        raise SystemExit('no version resource')
    fms, fls, pms, pls = struct.unpack_from('<4I', data, at + 8)
    text = lambda ms, ls: f'{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}'
    return text(fms, fls), text(pms, pls)


def string_value(data, key):
    # A String block: its key in UTF-16, padded to 32 bits, then the value.
    needle = (key + '\0').encode('utf-16-le')
    at = data.find(needle)
    if at < 0:
        raise SystemExit(f'no {key} text')
    at += len(needle)
    at += -at % 4
    end = at
    while data[end:end + 2] != b'\0\0':
        end += 2
    return data[at:end].decode('utf-16-le')


for path in sys.argv[1:]:
    data = open(path, 'rb').read()
    print(path, *fixed(data), string_value(data, 'FileVersion'), string_value(data, 'ProductVersion'))
