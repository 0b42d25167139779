#!/usr/bin/env python3
"""Writes the keyboard artwork of the window into ui/Assets/.

The strip ("keyboard-allkeys", 640 x 72) shows notes 24..88: white keys 17 points wide, black
keys 12 points wide starting 11, 28, 62, 79 and 96 points into each 119-point octave. The
one-octave picture ("keyboard-octave", 127 x 76) has the same keys behind a 4-point frame, so
its C starts at x 4. The lit shapes (one set per colour) are shared by both pictures: a white
key 17 x 72 with its top cut away where black keys cover it, and a black key 12 x 44. Run from
the repository root after changing any of the numbers below; the SVG files are committed.
"""
from pathlib import Path

WHITE_W, KEY_H = 17, 72
BLACK_W, BLACK_H = 12, 44
BLACK_OFFSETS = (11, 28, 62, 79, 96)
OCTAVE_W = 7 * WHITE_W
STRIP_W, STRIP_WHITE_KEYS, STRIP_BLACK_KEYS = 640, 38, 27
FRAME = 4
CORNER = 2

CASE = "#0E1116"        # gaps between keys, frame
WHITE = "#DDE1E8"
BLACK_BODY = "#12151B"
BLACK_FACE = "#2A2F39"

# colour name: (lit white key, lit black key face, lit black key body)
LIT = {
    "yellow": ("#F2C14E", "#B8872A", "#6E5014"),
    "blue": ("#5AA9E6", "#2F77B3", "#1A466C"),
    "green": ("#5CC98A", "#2F9560", "#1A5A39"),
    "red": ("#EC6B65", "#B8433E", "#702624"),
}

# Which neighbours of a white key are black keys: (left, right).
SHAPES = {"cf": (False, True), "dga": (True, True), "eb": (True, False)}


def num(v):
    return f"{v:g}"


def white_key_path(x, left_notch=False, right_notch=False, right_edge=None):
    """A white key at x, its top cut away where the neighbouring black keys lie."""
    l, r = x + 0.5, x + WHITE_W - 0.5
    notch_l = x + BLACK_W - (WHITE_W - BLACK_OFFSETS[0])   # the left black key ends 6 in
    notch_r = x + BLACK_OFFSETS[0]                          # the right one starts 11 in
    bottom = KEY_H
    if right_edge is not None and r > right_edge:
        # Cut off by the picture's edge: square on that side.
        top = f"M{num(l)} 0 H{num(right_edge)} V{bottom}"
        return top + f" H{num(l + CORNER)} Q{num(l)} {bottom} {num(l)} {bottom - CORNER} Z"
    d = [f"M{num(notch_l if left_notch else l)} 0"]
    d.append(f"H{num(notch_r if right_notch else r)}")
    if right_notch:
        d.append(f"V{BLACK_H} H{num(r)}")
    d.append(f"V{bottom - CORNER} Q{num(r)} {bottom} {num(r - CORNER)} {bottom}")
    d.append(f"H{num(l + CORNER)} Q{num(l)} {bottom} {num(l)} {bottom - CORNER}")
    if left_notch:
        d.append(f"V{BLACK_H} H{num(notch_l)}")
    d.append("Z")
    return " ".join(d)


def black_key(x, body, face):
    return (f'  <rect x="{num(x)}" y="0" width="{BLACK_W}" height="{BLACK_H}" fill="{body}"/>\n'
            f'  <rect x="{num(x + 1.5)}" y="0" width="{num(BLACK_W - 3)}" height="{BLACK_H - 4}" fill="{face}"/>\n')


def svg(width, height, title, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}">\n  <title>{title}</title>\n'
            f'  <rect width="{width}" height="{height}" fill="none"/>\n{body}</svg>\n')


def strip():
    body = f'  <rect x="0" y="0" width="{STRIP_W}" height="{KEY_H}" fill="{CASE}"/>\n'
    for i in range(STRIP_WHITE_KEYS):
        body += f'  <path d="{white_key_path(i * WHITE_W, right_edge=STRIP_W)}" fill="{WHITE}"/>\n'
    for k in range(STRIP_BLACK_KEYS):
        octave, index = divmod(k, 5)
        body += black_key(octave * OCTAVE_W + BLACK_OFFSETS[index], BLACK_BODY, BLACK_FACE)
    return svg(STRIP_W, KEY_H, "Keyboard, notes 24 to 88", body)


def octave():
    w, h = OCTAVE_W + 2 * FRAME, KEY_H + FRAME
    body = f'  <rect x="0" y="0" width="{w}" height="{h}" rx="{FRAME}" fill="{CASE}"/>\n'
    for i in range(7):
        body += f'  <path d="{white_key_path(FRAME + i * WHITE_W)}" fill="{WHITE}"/>\n'
    for off in BLACK_OFFSETS:
        body += black_key(FRAME + off, BLACK_BODY, BLACK_FACE)
    return svg(w, h, "Keyboard, one octave", body)


def main():
    out = Path(__file__).resolve().parent.parent / "ui" / "Assets"
    out.mkdir(parents=True, exist_ok=True)
    (out / "keyboard-allkeys.svg").write_text(strip())
    (out / "keyboard-octave.svg").write_text(octave())
    for colour, (white, face, body) in LIT.items():
        for shape, (left, right) in SHAPES.items():
            path = white_key_path(0, left_notch=left, right_notch=right)
            (out / f"keyboard-{colour}-{shape}.svg").write_text(
                svg(WHITE_W, KEY_H, f"Lit key, {colour}", f'  <path d="{path}" fill="{white}"/>\n'))
        (out / f"keyboard-{colour}-blackkeys.svg").write_text(
            svg(BLACK_W, BLACK_H, f"Lit black key, {colour}", black_key(0, body, face)))


if __name__ == "__main__":
    main()
