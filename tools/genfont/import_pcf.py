#!/usr/bin/env python3
"""One-off importer: turns an 8x16 PCF bitmap font into glyphs.txt.

glyphs.txt was made with
    python3 tools/genfont/import_pcf.py /usr/share/fonts/X11/misc/clB8x16.pcf.gz > tools/genfont/glyphs.txt
(the Schumacher Clean Bold 8x16 font of Debian's xfonts-base; licence in LICENSE-glyphs.txt).
After the import "A" and "4" were redrawn by hand with even two-pixel strokes.
The build never runs this script: glyphs.txt is the source that genfont reads.
"""
import gzip
import struct
import sys

PCF_ACCELERATORS = 1 << 1
PCF_METRICS = 1 << 2
PCF_BITMAPS = 1 << 3
PCF_BDF_ENCODINGS = 1 << 5
PCF_BDF_ACCELERATORS = 1 << 8


def readFont(path):
    data = gzip.open(path).read()
    if data[:4] != b'\x01fcp':
        sys.exit('not a PCF font: %s' % path)
    tableCount = struct.unpack('<I', data[4:8])[0]
    tables = {}
    for i in range(tableCount):
        kind, fmt, size, offset = struct.unpack_from('<IIII', data, 8 + 16 * i)
        tables[kind] = offset

    def formatAt(offset):
        return struct.unpack_from('<I', data, offset)[0]

    def unpack(fmt, offset, code):
        return struct.unpack_from(('>' if fmt & 4 else '<') + code, data, offset)

    offset = tables.get(PCF_BDF_ACCELERATORS, tables.get(PCF_ACCELERATORS))
    fmt = formatAt(offset)
    fontAscent = unpack(fmt, offset + 12, 'i')[0]

    offset = tables[PCF_METRICS]
    fmt = formatAt(offset)
    metrics = []
    if fmt & 0x100:
        count = unpack(fmt, offset + 4, 'h')[0]
        for i in range(count):
            raw = data[offset + 6 + 5 * i:offset + 11 + 5 * i]
            metrics.append(tuple(b - 0x80 for b in raw))
    else:
        count = unpack(fmt, offset + 4, 'i')[0]
        for i in range(count):
            metrics.append(unpack(fmt, offset + 8 + 12 * i, 'hhhhh'))

    offset = tables[PCF_BITMAPS]
    fmt = formatAt(offset)
    glyphCount = unpack(fmt, offset + 4, 'i')[0]
    starts = [unpack(fmt, offset + 8 + 4 * i, 'i')[0] for i in range(glyphCount)]
    bitmapBase = offset + 8 + 4 * glyphCount + 16
    pad = 1 << (fmt & 3)
    msBitFirst = fmt & 8

    offset = tables[PCF_BDF_ENCODINGS]
    encFmt = formatAt(offset)
    firstCode, lastCode = unpack(encFmt, offset + 4, 'hh')
    glyphs = {}
    for code in range(firstCode, lastCode + 1):
        index = unpack(encFmt, offset + 14 + 2 * (code - firstCode), 'H')[0]
        if index == 0xffff:
            continue
        left, right, width, ascent, descent = metrics[index]
        stride = ((right - left + 7) // 8 + pad - 1) // pad * pad
        rows = [0] * 16
        for r in range(ascent + descent):
            y = fontAscent - ascent + r
            if not 0 <= y < 16:
                continue
            for x in range(right - left):
                byte = data[bitmapBase + starts[index] + r * stride + x // 8]
                bit = (byte >> (7 - x % 8)) & 1 if msBitFirst else (byte >> (x % 8)) & 1
                if bit and 0 <= x + left < 8:
                    rows[y] |= 0x80 >> (x + left)
        glyphs[code] = rows
    return glyphs


def main():
    glyphs = readFont(sys.argv[1])
    print('# Glyph bitmaps of data/images/f1.fnt: 8x16 pixels, top row first, "#" set, "." clear.')
    print('# "glyph N" starts a glyph for character code N (0-255); codes not listed stay blank.')
    print('# Imported from the Schumacher Clean Bold 8x16 font (see LICENSE-glyphs.txt).')
    for code in range(32, 127):
        rows = glyphs.get(code, [0] * 16)
        print()
        print('glyph %d  %s' % (code, chr(code) if code != 32 else 'space'))
        for row in rows:
            print(''.join('#' if row & (0x80 >> k) else '.' for k in range(8)))


main()
