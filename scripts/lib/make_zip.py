#!/usr/bin/env python3
"""Writes a zip of the given files below one folder. Names are stored in code
page 936 with the Info-ZIP Unicode path field beside them: Windows' own zip
folders read the names in the system's DOS code page (936 on Chinese Windows)
and ignore UTF-8 names on older versions, while 7-Zip, WinRAR and Bandizip
take the Unicode field on any system.
Every entry carries the time SOURCE_DATE_EPOCH names (UTC; the files' own
times without it) and fixed attributes, so the same files give the same zip
whatever the clock, the time zone and the umask.
Usage: make_zip.py OUT.zip FOLDER FILE..."""
import os
import struct
import sys
import time
import zipfile
import zlib


class Cp936Info(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode('cp936'), self.flag_bits & ~0x800


out, folder, *files = sys.argv[1:]
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as archive:
    for path in files:
        name = f'{folder}/{path.rsplit("/", 1)[-1]}'
        when = int(os.environ.get('SOURCE_DATE_EPOCH') or os.stat(path).st_mtime)
        # A zip's times start in 1980.
        info = Cp936Info(name, time.gmtime(max(when, 315532800))[:6])
        info.external_attr = (0o100755 if name.endswith('.exe') else 0o100644) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        if not name.isascii():
            raw = name.encode('cp936')
            unicode_path = struct.pack('<BI', 1, zlib.crc32(raw)) + name.encode('utf-8')
            info.extra = struct.pack('<HH', 0x7075, len(unicode_path)) + unicode_path
        with open(path, 'rb') as source:
            archive.writestr(info, source.read())
