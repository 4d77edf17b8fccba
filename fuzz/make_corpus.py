#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/ from the sample photo.

Usage: fuzz/make_corpus.py [path to the quarn tool, default build/tools/quarn]

Seeds stay small (a few KB each): crops of the sample photo as PNG files of
several colour types and depths, Netpbm and PAM files, coded streams made by
the tool, and encoder inputs (size and rate bytes, then pixels).
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
QUARN = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "tools", "quarn")


def read_png_rgb(path):
    """The sample photo: 8-bit RGB, not interlaced."""
    data = open(path, "rb").read()
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), width * 3, [], bytearray(width * 3)
    for y in range(height):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], prev[i - 3] if i >= 3 else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, rows


def crop(img, x, y, w, h):
    return w, h, [r[3 * x:3 * (x + w)] for r in img[2][y:y + h]]


def png(w, h, colour, depth, rows, interlaced=False, extra=b""):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b""
    if interlaced:  # Adam7 passes of rows given per pass by a function
        for rows_of_pass in rows:
            raw += b"".join(b"\0" + r for r in rows_of_pass)
    else:
        raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0,
                                                                 1 if interlaced else 0))
            + extra + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def pack_bits(values, depth):
    out, acc, n = bytearray(), 0, 0
    for v in values:
        acc, n = (acc << depth) | v, n + depth
        if n == 8:
            out.append(acc)
            acc, n = 0, 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)


def png_files(img):
    w, h, rows = img
    grey = [bytes(r[i] for i in range(0, len(r), 3)) for r in rows]
    files = {
        "rgb8.png": png(w, h, 2, 8, rows),
        "grey8.png": png(w, h, 0, 8, grey),
        "grey1.png": png(w, h, 0, 1, [pack_bits([g >> 7 for g in r], 1) for r in grey]),
        "grey_alpha8.png": png(w, h, 4, 8, [bytes(b for g in r for b in (g, 200)) for r in grey]),
        "rgba8.png": png(w, h, 6, 8, [bytes(b for i in range(0, len(r), 3) for b in (*r[i:i + 3], 255))
                                      for r in rows]),
        "rgb16.png": png(w, h, 2, 16, [bytes(b for v in r for b in (v, v)) for r in rows]),
    }
    palette = bytes(v for i in range(16) for v in (i * 17, 255 - i * 17, (i * 53) & 255))
    pal = [pack_bits([g >> 4 for g in r], 4) for r in grey]
    files["palette4_trns.png"] = png(w, h, 3, 4, pal, extra=(
        struct.pack(">I", len(palette)) + b"PLTE" + palette + struct.pack(">I", zlib.crc32(b"PLTE" + palette))
        + struct.pack(">I", 4) + b"tRNS" + b"\x00\x40\x80\xff" + struct.pack(">I", zlib.crc32(b"tRNS\x00\x40\x80\xff"))))
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    adam7 = []
    for x0, y0, dx, dy in passes:
        adam7.append([b"".join(rows[y][3 * x:3 * x + 3] for x in range(x0, w, dx)) for y in range(y0, h, dy)]
                     if x0 < w and y0 < h else [])
    files["rgb8_interlaced.png"] = png(w, h, 2, 8, adam7, interlaced=True)
    return files


def pnm_files(img):
    w, h, rows = img
    rgb = b"".join(rows)
    grey = bytes(rgb[i] for i in range(0, len(rgb), 3))
    wide = bytes(b for v in rgb for b in (v, 0x80))
    return {
        "p6.ppm": b"P6\n# a comment\n%d %d\n255\n" % (w, h) + rgb,
        "p5.pgm": b"P5 %d %d 255\n" % (w, h) + grey,
        "p6_16bit.ppm": b"P6\n%d %d\n65535\n" % (w, h) + wide,
        "p6_maxval1000.ppm": b"P6\n%d %d\n1000\n" % (w, h) + bytes(b for v in rgb for b in divmod(v * 1000 // 255, 256)),
        "pam_rgb.pam": b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n" % (w, h) + rgb,
        "pam_rgba.pam": b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nENDHDR\n" % (w, h)
                        + bytes(b for i in range(0, len(rgb), 3) for b in (*rgb[i:i + 3], 255)),
        "pam_grey_alpha.pam": b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 2\nMAXVAL 255\nENDHDR\n" % (w, h)
                              + bytes(b for g in grey for b in (g, 9)),
        "pam_grey.pam": b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 1\nMAXVAL 255\n# note\nENDHDR\n" % (w, h) + grey,
    }


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    photo = read_png_rgb(os.path.join(ROOT, "samples", "kodim23.png"))
    corpus = os.path.join(HERE, "corpus")

    small = crop(photo, 300, 100, 40, 36)
    for name, data in {**png_files(small), **pnm_files(small)}.items():
        write(os.path.join(corpus, "image_read"), name, data)

    # Streams from the tool: several shapes (coding sizes with 1 to 4 tree
    # levels), rates from the lowest to high.
    shapes = [(32, 32, 0.211), (40, 264, 0.7), (64, 48, 2.0), (200, 33, 1.0), (96, 96, 0.5),
              (128, 64, 4.0), (33, 40, 8.0)]
    with tempfile.TemporaryDirectory() as tmp:
        for i, (w, h, rate) in enumerate(shapes):
            x, y = (37 * i) % (768 - w), (53 * i) % (512 - h)
            pic = crop(photo, x, y, w, h)
            src, out = os.path.join(tmp, "in.ppm"), os.path.join(tmp, "out.qrn")
            write(tmp, "in.ppm", pnm_files(pic)["p6.ppm"])
            subprocess.run([QUARN, "encode", src, out, "--bitrate", str(rate)], check=True)
            write(os.path.join(corpus, "stream_decode"), "%dx%d_%g.qrn" % (w, h, rate),
                  open(out, "rb").read())

    # Encoder inputs: width, height (16 bits each), rate mode and 16-bit rate
    # (in 1/4096 bits per pixel), row sizing, then pixels tiled over the image.
    for w, h, rate, sizing, (x, y, cw, ch) in [
            (32, 32, 0.5, 0, (100, 100, 32, 32)), (48, 40, 2.0, 1, (400, 300, 24, 20)),
            (200, 32, 1.0, 0, (0, 0, 40, 8)), (40, 264, 0.7, 1, (600, 50, 20, 20)),
            (64, 64, 8.0, 0, (200, 200, 16, 16)), (35, 33, 0.2, 0, (10, 400, 12, 10))]:
        head = struct.pack(">HHBHB", w, h, 0, round(rate * 4096), sizing)
        pixels = b"".join(crop(photo, x, y, cw, ch)[2])
        write(os.path.join(corpus, "encode"), "%dx%d_%g.bin" % (w, h, rate), head + pixels)
    # Decoder plug-in inputs: element type, planes, dimension count, rows,
    # row padding, output kind, rate mode (and its bytes), then the rows.
    streams = os.path.join(corpus, "stream_decode")
    one = open(os.path.join(streams, "64x48_2.qrn"), "rb").read()
    other = open(os.path.join(streams, "96x96_0.5.qrn"), "rb").read()
    longest = max(len(one), len(other))
    two = one.ljust(longest, b"\0") + other.ljust(longest, b"\0")
    plugin = os.path.join(corpus, "decoder_plugin")
    write(plugin, "one_row.bin", bytes([0, 1, 2, 0, 0, 0, 0]) + one)
    write(plugin, "two_rows_padded.bin", bytes([0, 1, 2, 1, 5, 0, 0]) + two)
    write(plugin, "quarter_rate.bin", bytes([0, 1, 2, 0, 0, 0, 0x80]) + struct.pack(">H", 1024) + one)
    write(plugin, "four_planes.bin", bytes([0, 0x84, 2, 0, 0, 0, 0]) + one)
    write(plugin, "float32.bin", bytes([5, 1, 2, 0, 0, 0, 0]) + one)
    write(plugin, "one_dimension.bin", bytes([0, 1, 0x81, 0, 0, 0, 0]) + one)
    write(plugin, "output_3_planes_long.bin", bytes([0, 1, 2, 0, 0, 0xDC, 0]) + one)
    write(os.path.join(corpus, "encode"), "flat_64x64.bin", struct.pack(">HHBHB", 64, 64, 0, 4096, 0) + b"\x80")


if __name__ == "__main__":
    main()
