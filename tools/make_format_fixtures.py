#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Puts together, byte by byte, the test pictures of the formats that ImageMagick cannot write.

Usage: make_format_fixtures.py CARD.ppm CARD-LZW.tif OUT_FOLDER (run by make-format-fixtures.sh).
Each file holds the 16 x 8 test card of the shell script, or the grey ramp where the format
has no colour of its own. The turned pictures that the shell script leaves beside CARD.ppm
get their orientation tags here.
"""
import os
import struct
import sys
import zlib


def read_ppm(path):
    words = open(path).read().split()
    w, h = int(words[1]), int(words[2])
    vals = list(map(int, words[4:]))
    return w, h, [tuple(vals[i:i + 3]) for i in range(0, len(vals), 3)]


card_path, tiff_path, out = sys.argv[1:4]
W, H, PIX = read_ppm(card_path)
GREY = [16 * x + 2 * y for y in range(H) for x in range(W)]


def save(name, data):
    with open(out + '/' + name, 'wb') as f:
        f.write(data)


# --- Dr. Halo CUT: a grey ramp of palette indices, each line run-length coded -------------------
def cut():
    body = struct.pack('<HHH', W, H, 0)
    for y in range(H):
        row = bytes(GREY[y * W:(y + 1) * W])
        runs = bytes([len(row)]) + row                    # one literal run: count, then the bytes
        body += struct.pack('<H', len(runs) + 1) + runs + b'\0'
    return body


# --- Wavefront RLA: 740-byte big-endian header, scan-line offsets, run-length coded channels ----
def rla_channel(values):
    # A literal run: a negative count, then the bytes.
    data = bytes([256 - len(values)]) + bytes(values)
    return struct.pack('>h', len(data)) + data


def rla(matte=False):
    # With a matte, alpha = 17 x: transparent in the left column, opaque in the right one.
    head = struct.pack('>4h', 0, W - 1, 0, H - 1)         # window
    head += struct.pack('>4h', 0, W - 1, 0, H - 1)        # active window
    head += struct.pack('>6h', 0, 0, 3, int(matte), 0, -2)  # frame, storage, channels, mattes, aux, revision
    head += b'2.2'.ljust(16, b'\0') + b'\0' * 96 + struct.pack('>i', 0)
    head += b'\0' * (128 + 128 + 64 + 32 + 32 + 20 + 24 + 8)
    head += b'rgb'.ljust(32, b'\0')
    head += struct.pack('>h', 0) + b'\0' * (12 + 32)
    head += struct.pack('>5h', 8, 0, 8 if matte else 0, 0, 0) + b'\0' * (32 + 36) + struct.pack('>i', 0)
    assert len(head) == 740
    lines = []
    for y in range(H - 1, -1, -1):                        # bottom line first
        row = PIX[y * W:(y + 1) * W]
        line = b''.join(rla_channel([p[c] for p in row]) for c in range(3))
        lines.append(line + (rla_channel([17 * x for x in range(W)]) if matte else b''))
    offsets, pos = [], 740 + 4 * H
    for line in lines:
        offsets.append(pos)
        pos += len(line)
    return head + b''.join(struct.pack('>i', o) for o in offsets) + b''.join(lines)


# --- Windows metafile: a placeable header and two filled rectangles, red left, blue right -------
def wmf():
    records = b''

    def rec(function, *words):
        return struct.pack('<IH', 3 + len(words), function) + struct.pack('<%dh' % len(words), *words)

    def colorref(r, g, b):
        v = r | (g << 8) | (b << 16)
        return [v & 0xFFFF, v >> 16]

    records += rec(0x020B, 0, 0)                          # SetWindowOrg
    records += rec(0x020C, 160, 320)                      # SetWindowExt (y, x)
    records += rec(0x02FA, 5, 0, 0, 0, 0)                 # CreatePenIndirect: null pen -> object 0
    records += rec(0x012D, 0)                             # SelectObject 0
    records += rec(0x02FC, 0, *colorref(255, 0, 0), 0)    # CreateBrushIndirect red -> object 1
    records += rec(0x012D, 1)
    records += rec(0x041B, 160, 160, 0, 0)                # Rectangle bottom, right, top, left
    records += rec(0x01F0, 1)                             # DeleteObject 1
    records += rec(0x02FC, 0, *colorref(0, 0, 255), 0)    # blue -> object 1
    records += rec(0x012D, 1)
    records += rec(0x041B, 160, 320, 0, 160)
    records += rec(0x0000)                                # EOF
    size_words = (18 + len(records)) // 2
    header = struct.pack('<HHHIHIH', 1, 9, 0x0300, size_words, 2, 8, 0)
    placeable = struct.pack('<IH4hHI', 0x9AC6CDD7, 0, 0, 0, 320, 160, 1440, 0)
    checksum = 0
    for (v,) in struct.iter_unpack('<H', placeable):
        checksum ^= v
    return placeable + struct.pack('<H', checksum) + header + records


# --- Binary EPS: the header, a small PostScript program and the TIFF preview ---------------------
def eps():
    ps = b'%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 16 8\nshowpage\n%%EOF\n'
    tiff = open(tiff_path, 'rb').read()
    ps_off = 30
    tiff_off = ps_off + len(ps)
    head = struct.pack('<IIIIIIIH', 0xC6D3D0C5, ps_off, len(ps), 0, 0, tiff_off, len(tiff), 0xFFFF)
    return head + ps + tiff


# --- Autodesk Animator cel: 32-byte header, a 6-bit palette, one byte per pixel --------------------
def cel():
    palette = []
    index = {}
    pixels = bytearray()
    for p in PIX:
        q = tuple(v >> 2 for v in p)                      # the palette holds 6-bit values
        if q not in index:
            index[q] = len(palette)
            palette.append(q)
        pixels.append(index[q])
    assert len(palette) <= 256
    pal = b''.join(bytes(q) for q in palette) + b'\0' * (3 * (256 - len(palette)))
    head = struct.pack('<HHHHHBBI', 0x9119, W, H, 0, 0, 8, 0, len(pixels)) + b'\0' * 16
    return head + pal + bytes(pixels)


# --- Paint Shop Pro 7 (file version 5.0): the general attributes and a composite image bank ------
def psp_block(ident, data):
    return b'~BK\0' + struct.pack('<HI', ident, len(data)) + data


def psp_rle(data):
    out = bytearray()
    i = 0
    while i < len(data):
        j = i
        while j < len(data) and j - i < 127 and data[j] == data[i]:
            j += 1
        if j - i >= 3:
            out += bytes([128 + (j - i), data[i]])
            i = j
        else:
            n = min(127, len(data) - i)
            out += bytes([n]) + data[i:i + n]
            i += n
    return bytes(out)


def psp(compression):
    general = struct.pack('<IiidBHHHIBIiHI', 46, W, H, 72.0, 1, compression, 24, 1, 1 << 24, 0,
                          W * H * 3, 0, 1, 0)
    assert len(general) == 46
    thumb_jpeg = open(out + '/card.jpg', 'rb').read()
    attributes = [
        psp_block(17, struct.pack('<IiiHHHIH', 24, W, H, 24, 3, 1, 1 << 24, 1)),          # thumbnail, JPEG
        psp_block(17, struct.pack('<IiiHHHIH', 24, W, H, 24, compression, 1, 1 << 24, 0)),  # composite
    ]
    jpeg = psp_block(18, struct.pack('<IIIH', 14, len(thumb_jpeg), W * H * 3, 0) + thumb_jpeg)
    stride = (W + 3) // 4 * 4
    channels = b''
    for c in range(3):
        plane = bytearray()
        for y in range(H):
            row = bytes(p[c] for p in PIX[y * W:(y + 1) * W])
            plane += row + b'\0' * (stride - W) if compression == 0 else row
        raw = bytes(plane)
        packed = {0: raw, 1: psp_rle(raw), 2: zlib.compress(raw)}[compression]
        channels += psp_block(5, struct.pack('<IIIHH', 16, len(packed), len(raw), 0, c + 1) + packed)
    composite = psp_block(9, struct.pack('<IHH', 8, 1, 3) + channels)
    bank = psp_block(16, struct.pack('<II', 8, 2) + b''.join(attributes) + jpeg + composite)
    signature = b'Paint Shop Pro Image File\n\x1a'.ljust(32, b'\0')
    return signature + struct.pack('<HH', 5, 0) + psp_block(0, general) + bank


# --- Orientation: EXIF data holding only the Orientation tag --------------------------------------
def exif(orientation, little):
    e = '<' if little else '>'
    head = (b'II' if little else b'MM') + struct.pack(e + 'HI', 42, 8)
    # One directory entry: tag, type SHORT, count 1, the value in the first half of four bytes.
    entry = struct.pack(e + 'HHIHH', 0x0112, 3, 1, orientation, 0)
    return head + struct.pack(e + 'H', 1) + entry + struct.pack(e + 'I', 0)


def jpeg_with_exif(jpeg, orientation):
    # An APP1 segment right after the start marker; odd orientations big-endian, even little.
    payload = b'Exif\0\0' + exif(orientation, orientation % 2 == 0)
    return jpeg[:2] + b'\xff\xe1' + struct.pack('>H', len(payload) + 2) + payload + jpeg[2:]


def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


def png_with_exif(png, orientation):
    # The eXIf chunk holds the TIFF structure without JPEG's "Exif" prefix; it goes before IDAT.
    at = png.index(b'IDAT') - 4
    return png[:at] + png_chunk(b'eXIf', exif(orientation, True)) + png[at:]


def psd_with_exif(psd, orientation):
    # Photoshop keeps EXIF data among its image resources (resource 1058), without a prefix.
    pos = 26
    pos += 4 + struct.unpack('>I', psd[pos:pos + 4])[0]   # past the colour mode data
    length = struct.unpack('>I', psd[pos:pos + 4])[0]
    data = exif(orientation, False)
    block = b'8BIM' + struct.pack('>H', 1058) + b'\0\0' + struct.pack('>I', len(data)) + data
    block += b'\0' * (len(data) % 2)
    resources = psd[pos + 4:pos + 4 + length] + block
    return psd[:pos] + struct.pack('>I', len(resources)) + resources + psd[pos + 4 + length:]


# --- PNG cut-out: the card with alpha = 17 x, 8 bits a sample -------------------------------------
def cutout_png():
    raw = b''.join(b'\0' + b''.join(bytes(PIX[y * W + x]) + bytes([17 * x]) for x in range(W))
                   for y in range(H))
    head = struct.pack('>IIBBBBB', W, H, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', head) + png_chunk(b'IDAT', zlib.compress(raw)) +
            png_chunk(b'IEND', b''))


work = os.path.dirname(card_path)


def stored(name):
    return open(os.path.join(work, name), 'rb').read()


for o in range(1, 9):
    save('card-orient%d.jpg' % o, jpeg_with_exif(stored('orient%d.jpg' % o), o))
save('card-orient6.png', png_with_exif(stored('orient6.png'), 6))
save('card-orient8.psd', psd_with_exif(stored('orient8.psd'), 8))
save('card-cutout.png', cutout_png())
save('card-matte.rla', rla(True))
save('grey.cut', cut())
save('card.rla', rla())
save('halves.wmf', wmf())
save('card.eps', eps())
save('card.cel', cel())
save('card-raw.psp', psp(0))
save('card-rle.psp', psp(1))
save('card-lz77.psp', psp(2))
