#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora: OUTPUT/<target>/<name>, one input per file.
Usage: make_seeds.py OUTPUT"""

import pathlib, random, struct, sys


def track(body: bytes) -> bytes:
    return b"MTrk" + struct.pack(">I", len(body)) + body


def midi(fmt: int, division: int, *tracks: bytes) -> bytes:
    return b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division) + b"".join(tracks)


END = b"\x00\xff\x2f\x00"
NOTES = b"\x00\x90\x3c\x40\x60\x80\x3c\x00\x00\x90\x40\x40\x00\x43\x40\x83\x00\xb0\x7b\x00"

SEEDS = {
    "midi_file_reader": {
        "format0": midi(0, 96, track(NOTES + END)),
        "format1-tempo-meter": midi(1, 480, track(b"\x00\xff\x51\x03\x07\xa1\x20\x00\xff\x58\x04\x03\x02\x18\x08"
                                                  b"\x83\x60\xff\x51\x03\x0f\x42\x40" + END), track(NOTES + END)),
        "format2": midi(2, 24, track(NOTES + END), track(NOTES + END)),
        "smpte": midi(0, 0xE728, track(NOTES + END)),
        "sysex-and-escapes": midi(0, 96, track(b"\x00\xf0\x04\x7e\x7f\x09\xf7\x00\xf7\x02\xf8\xfa\x00\xff\x03\x04name"
                                               + NOTES + END)),
        "unknown-chunk": b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"XYZW\x00\x00\x00\x02ab" + track(NOTES),
    },
    # The writer's and the kernel's inputs are decoded into events and cycles: a few byte strings
    # to start from, among them some made of MIDI-like bytes.
    "midi_file_writer": {
        "random": random.Random(1).randbytes(600),
    },
    "kernel": {
        "random": random.Random(2).randbytes(2000),
    },
    # Takes as a saved state holds them: "MSTK", version 1 or 2, takes, then per take its start
    # time, sample rate, (version 2:) flags and lost events, and events (sample time, tempo, beat,
    # length, bytes).
    "takes_archive": {
        "stopped-take": b"MSTK" + struct.pack("<II", 2, 1)
        + struct.pack("<qfBQQ", 1700000000002, 48000.0, 1, 3, 2) + struct.pack("<qddB", 0, 97.0, 0.0, 2) + b"\xc0\x00"
        + struct.pack("<qddB", 0, 97.0, 0.0, 3) + b"\x90\x3c\x40",
        "two-takes": b"MSTK" + struct.pack("<II", 1, 2)
        + struct.pack("<qfQ", 1700000000001, 48000.0, 2) + struct.pack("<qddB", 0, 120.0, 0.0, 2) + b"\xc0\x00"
        + struct.pack("<qddB", 24000, 120.0, 1.0, 3) + b"\x90\x3c\x40"
        + struct.pack("<qfQ", 1700000000001, 44100.0, 1) + struct.pack("<qddB", 0, 90.0, 0.0, 2) + b"\xc0\x00",
    },
    "update_feed": {
        "appcast": b"<?xml version='1.0'?><rss xmlns:sparkle='s'><channel><item><sparkle:shortVersionString> 1.2.0"
        b" </sparkle:shortVersionString></item><item><sparkle:shortVersionString>1.10</sparkle:shortVersionString>"
        b"</item></channel></rss>",
        "read-again": b"<a><b><c><sparkle:shortVersionString>2.0</sparkle:shortVersionString>1</c>2</b>.3</a>",
        "entity": b"<!DOCTYPE a [<!ENTITY v '9.9.9'>]><a><sparkle:shortVersionString>&v;&v;</sparkle:shortVersionString></a>",
        "broken": b"<rss><sparkle:shortVersionString>1.5</sparkle:shortVersionString><oops></rss>",
    },
    "update_feed-weights": {name: text.encode() for name, text in {
        "plain": "1.2.3", "empty-pieces": "1..2", "letters": "3b1", "four": "1.2.3.4", "negative": "-5.-2",
        "huge": "99999999999.1", "limit": "1000000000.1000000001", "dash": "-", "spaces": " 1.2 "}.items()},
}


for target, seeds in SEEDS.items():
    folder = pathlib.Path(sys.argv[1]) / target.split("-")[0]
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in seeds.items():
        (folder / name).write_bytes(data)
