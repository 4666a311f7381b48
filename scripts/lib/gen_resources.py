#!/usr/bin/env python3
"""Generate the binary resources used by res/orvi.rc.

Usage: python3 scripts/lib/gen_resources.py OUTDIR

Writes into OUTDIR (created if missing):
  orvi.ico              application icon, eight images (4/8/32 bpp)
  close.bmp             title-bar close glyph, white on dark red
  close_pressed.bmp     close glyph, black on dark red
  minimize.bmp          title-bar minimize glyph, white on dark red
  minimize_pressed.bmp  minimize glyph, black on dark red

Everything is drawn procedurally with the standard library only. The output
contains no timestamps or other varying data, so running the script twice
produces byte-identical files.
"""

import os
import struct
import sys

BRAND_RED = (126, 3, 6)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

# ---------------------------------------------------------------------------
# Icon artwork: a dark red rounded square with a white stylised "O" ring.
# All geometry is expressed as fractions of the image size so every size
# shows the same picture.
# ---------------------------------------------------------------------------

CORNER_RADIUS = 0.1875        # rounded-square corner radius
RING_OUTER = (0.31, 0.37)     # ellipse radii (x, y) of the ring's outer edge
RING_INNER = (0.16, 0.22)     # ellipse radii (x, y) of the ring's inner edge
SUPERSAMPLE = 8               # samples per pixel along each axis


def _in_rounded_square(x, y, size):
    if x < 0.0 or y < 0.0 or x > size or y > size:
        return False
    r = CORNER_RADIUS * size
    dx = max(r - x, 0.0, x - (size - r))
    dy = max(r - y, 0.0, y - (size - r))
    return dx * dx + dy * dy <= r * r


def _in_ellipse(x, y, cx, cy, rx, ry):
    ex = (x - cx) / rx
    ey = (y - cy) / ry
    return ex * ex + ey * ey <= 1.0


def _in_ring(x, y, size):
    c = size / 2.0
    if not _in_ellipse(x, y, c, c, RING_OUTER[0] * size, RING_OUTER[1] * size):
        return False
    return not _in_ellipse(x, y, c, c, RING_INNER[0] * size, RING_INNER[1] * size)


def render_icon_coverage(size):
    """Return rows (top-down) of (shape_coverage, ring_fraction) per pixel.

    shape_coverage: fraction of the pixel covered by the rounded square (0..1).
    ring_fraction:  fraction of the covered part that belongs to the ring (0..1).
    """
    n = SUPERSAMPLE
    offsets = [(k + 0.5) / n for k in range(n)]
    total = n * n
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            inside = 0
            ring = 0
            for oy in offsets:
                y = py + oy
                for ox in offsets:
                    x = px + ox
                    if _in_rounded_square(x, y, size):
                        inside += 1
                        if _in_ring(x, y, size):
                            ring += 1
            cover = inside / total
            frac = ring / inside if inside else 0.0
            row.append((cover, frac))
        rows.append(row)
    return rows


def _round(v):
    return int(v + 0.5)


def _blend(a, b, t):
    return tuple(_round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def _ramp_palette(count):
    """Palette: entry 0 is black (transparent pixels), entries 1..count-1 run
    from the brand red to white, giving anti-aliased ring edges."""
    pal = [BLACK]
    steps = count - 1
    for i in range(steps):
        pal.append(_blend(BRAND_RED, WHITE, i / (steps - 1)))
    return pal


def _stride(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def _pack_row_indexed(indices, bpp):
    out = bytearray()
    if bpp == 8:
        out.extend(indices)
    elif bpp == 4:
        for i in range(0, len(indices), 2):
            hi = indices[i]
            lo = indices[i + 1] if i + 1 < len(indices) else 0
            out.append((hi << 4) | lo)
    else:
        raise ValueError("unsupported indexed depth %d" % bpp)
    return out


def _pack_mask_row(bits):
    out = bytearray((len(bits) + 7) // 8)
    for i, b in enumerate(bits):
        if b:
            out[i >> 3] |= 0x80 >> (i & 7)
    return out


def _pad(data, stride):
    return bytes(data) + b"\0" * (stride - len(data))


def build_icon_image(size, bpp, coverage):
    """Return the BMP-in-ICO image data (BITMAPINFOHEADER, palette, XOR, AND)."""
    xor_stride = _stride(size, bpp)
    and_stride = _stride(size, 1)
    xor_rows = []   # top-down, converted to bottom-up below
    mask_rows = []

    if bpp in (4, 8):
        palette = _ramp_palette(1 << bpp)
        top = (1 << bpp) - 2  # index span of the red->white ramp
        for row in coverage:
            idx = []
            mask = []
            for cover, frac in row:
                if cover >= 0.5:
                    idx.append(1 + _round(frac * top))
                    mask.append(0)
                else:
                    idx.append(0)
                    mask.append(1)
            xor_rows.append(_pad(_pack_row_indexed(idx, bpp), xor_stride))
            mask_rows.append(_pad(_pack_mask_row(mask), and_stride))
    elif bpp == 32:
        palette = []
        for row in coverage:
            px = bytearray()
            mask = []
            for cover, frac in row:
                alpha = _round(cover * 255)
                if alpha == 0:
                    px.extend(b"\0\0\0\0")
                    mask.append(1)
                else:
                    r, g, b = _blend(BRAND_RED, WHITE, frac)
                    px.extend(bytes((b, g, r, alpha)))
                    mask.append(0)
            xor_rows.append(_pad(px, xor_stride))
            mask_rows.append(_pad(_pack_mask_row(mask), and_stride))
    else:
        raise ValueError("unsupported icon depth %d" % bpp)

    xor_data = b"".join(reversed(xor_rows))
    and_data = b"".join(reversed(mask_rows))
    header = struct.pack(
        "<IiiHHIIiiII",
        40,                 # biSize
        size,               # biWidth
        size * 2,           # biHeight: XOR + AND
        1,                  # biPlanes
        bpp,                # biBitCount
        0,                  # biCompression = BI_RGB
        len(xor_data) + len(and_data),  # biSizeImage
        0, 0,               # resolution
        0, 0,               # biClrUsed, biClrImportant (0 = full palette)
    )
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    return header + pal + xor_data + and_data


ICON_IMAGES = [
    (32, 4), (16, 4),
    (48, 8), (32, 8), (16, 8),
    (48, 32), (32, 32), (16, 32),
]


def build_icon():
    coverage = {}
    images = []
    for size, bpp in ICON_IMAGES:
        if size not in coverage:
            coverage[size] = render_icon_coverage(size)
        images.append((size, bpp, build_icon_image(size, bpp, coverage[size])))

    count = len(images)
    out = bytearray(struct.pack("<HHH", 0, 1, count))  # ICONDIR, type 1 = icon
    offset = 6 + 16 * count
    for size, bpp, data in images:
        out += struct.pack(
            "<BBBBHHII",
            size & 0xFF,                    # bWidth (0 would mean 256)
            size & 0xFF,                    # bHeight
            (1 << bpp) if bpp < 8 else 0,   # bColorCount
            0,                              # bReserved
            1,                              # wPlanes
            bpp,                            # wBitCount
            len(data),                      # dwBytesInRes
            offset,                         # dwImageOffset
        )
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


# ---------------------------------------------------------------------------
# Title-bar button bitmaps: 32x32, 24 bpp, bottom-up.
# ---------------------------------------------------------------------------

GLYPH_SIZE = 32


def _cross_pixel(x, y):
    """Diagonal cross from (3,3) to (28,28); strokes three pixels wide."""
    lo, hi = 3, 28
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    return abs(x - y) <= 1 or abs(x + y - (lo + hi)) <= 1


def _bar_pixel(x, y):
    """Horizontal bar: rows 18..21, columns 2..29 (top-left origin)."""
    return 18 <= y <= 21 and 2 <= x <= 29


def build_bmp24(size, fg, bg, is_glyph):
    stride = _stride(size, 24)
    rows = []
    for y in range(size):              # y measured from the top as displayed
        row = bytearray()
        for x in range(size):
            r, g, b = fg if is_glyph(x, y) else bg
            row.extend((b, g, r))
        rows.append(_pad(row, stride))
    pixels = b"".join(reversed(rows))  # stored bottom-up
    info = struct.pack(
        "<IiiHHIIiiII",
        40, size, size, 1, 24, 0, len(pixels),
        2835, 2835,                     # 72 dpi
        0, 0,
    )
    offset = 14 + len(info)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + info + pixels


# ---------------------------------------------------------------------------


def generate(outdir):
    os.makedirs(outdir, exist_ok=True)
    files = {
        "orvi.ico": build_icon(),
        "close.bmp": build_bmp24(GLYPH_SIZE, WHITE, BRAND_RED, _cross_pixel),
        "close_pressed.bmp": build_bmp24(GLYPH_SIZE, BLACK, BRAND_RED, _cross_pixel),
        "minimize.bmp": build_bmp24(GLYPH_SIZE, WHITE, BRAND_RED, _bar_pixel),
        "minimize_pressed.bmp": build_bmp24(GLYPH_SIZE, BLACK, BRAND_RED, _bar_pixel),
    }
    for name in sorted(files):
        path = os.path.join(outdir, name)
        data = files[name]
        # Rewrite only when the content changes, so build tools that compare
        # timestamps do not relink needlessly.
        try:
            with open(path, "rb") as fh:
                if fh.read() == data:
                    continue
        except OSError:
            pass
        with open(path, "wb") as fh:
            fh.write(data)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: %s OUTDIR\n" % os.path.basename(argv[0]))
        return 2
    generate(argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
