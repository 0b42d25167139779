#!/usr/bin/python3
"""Checks a screenshot: png_check.py FILE WIDTH HEIGHT [RRGGBB X0 Y0 X1 Y1 MIN]...

Fails unless FILE is a WIDTH x HEIGHT image of more than one colour and, for each colour given,
at least MIN pixels of exactly that colour lie in the rectangle [X0, X1) x [Y0, Y1). Prints the
size, the number of colours and the counts."""
import sys

from PIL import Image

path, want_w, want_h, *specs = sys.argv[1:]
image = Image.open(path).convert("RGB")
colours = image.getcolors(maxcolors=1 << 24)
report = [f"{image.width}x{image.height}, {len(colours)} colours"]
ok = image.size == (int(want_w), int(want_h)) and len(colours) > 1
for k in range(0, len(specs), 6):
    colour, box, least = tuple(bytes.fromhex(specs[k])), tuple(map(int, specs[k + 1:k + 5])), int(specs[k + 5])
    n = sum(count for count, c in image.crop(box).getcolors(maxcolors=1 << 24) if c == colour)
    report.append(f"{n} px of #{specs[k]} in {box} (need {least})")
    ok = ok and n >= least
print("; ".join(report))
sys.exit(0 if ok else 1)
