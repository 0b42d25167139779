#!/usr/bin/env python3
"""Checks a screenshot: png_check.py FILE WIDTH HEIGHT [RRGGBB X0 Y0 X1 Y1 MIN]...

Fails unless FILE is a WIDTH x HEIGHT PNG of more than one colour and, for each colour given,
at least MIN pixels of exactly that colour lie in the rectangle [X0, X1) x [Y0, Y1). Prints the
size, the number of colours and the counts."""
import struct
import sys
import zlib


def pixels(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    pos, idat, head = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if head is None:
        sys.exit(f"{path}: no IHDR")
    width, height, depth, ctype, _, _, interlace = head
    bpp = {0: 1, 2: 3, 4: 2, 6: 4}.get(ctype)
    if depth != 8 or bpp is None or interlace:
        sys.exit(f"{path}: unsupported PNG (depth {depth}, colour type {ctype}, interlace {interlace})")
    raw, stride, prev, rows, out = zlib.decompress(idat), width * bpp, bytearray(width * bpp), [], 0
    for y in range(height):
        f, line = raw[out], bytearray(raw[out + 1:out + 1 + stride])
        out += 1 + stride
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            elif f != 0:
                sys.exit(f"{path}: bad filter {f} on row {y}")
        rows.append([bytes(line[i:i + 3]) for i in range(0, stride, bpp)])
        prev = line
    return width, height, rows


path, want_w, want_h, *specs = sys.argv[1:]
width, height, rows = pixels(path)
colours = {p for row in rows for p in row}
report, ok = [f"{width}x{height}, {len(colours)} colours"], (width, height) == (int(want_w), int(want_h)) and len(colours) > 1
for k in range(0, len(specs), 6):
    colour, x0, y0, x1, y1, least = bytes.fromhex(specs[k]), *map(int, specs[k + 1:k + 6])
    n = sum(p == colour for row in rows[y0:y1] for p in row[x0:x1])
    report.append(f"{n} px of #{specs[k]} in {x0},{y0}-{x1},{y1} (need {least})")
    ok = ok and n >= least
print("; ".join(report))
sys.exit(0 if ok else 1)
