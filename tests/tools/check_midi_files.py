#!/usr/bin/env python3
"""Plays takes through write_midi_fixtures and reads its files with mido: every channel message,
and nothing else, after a Program Change 0, at the tick its beat calls for (480 a quarter, halves
away from zero, never before the tick before); the tempo file holds the same, a 4/4 time
signature and a tempo at tick 0 and at every change."""

import math, pathlib, subprocess, sys, tempfile

import mido

RATE = 48000.0
# An event a tuple: the cycle's timestamp, the host's beat and tempo there, the offset into the cycle, the bytes.
TAKES = [
    # Notes, a controller, pitch bend, a velocity-0 note-on, two events at one sample time, beats
    # on half ticks (k/960 of a beat) or just beside them, a beat that goes back while the time
    # goes on; then what a host may send besides channel messages: clock, start, stop, song
    # position, quarter frame, reset, a lone F7, a status-less and an empty message, a cut note-on.
    [(48000, 1.0, 120.0, 0, [0x90, 60, 100]), (48000, 1.0, 120.0, 0, [0x90, 64, 90]),
     (72000, 1.5, 120.0, 0, [0xB0, 7, 99]), (96000, 2.0, 120.0, 12, [0xE0, 0x00, 0x60]),
     (120000, 2.5, 120.0, 0, [0x90, 60, 0]), (120001, 2.5 + 1 / 960, 120.0, 0, [0x80, 64, 0]),
     (120002, 3.0 + 3 / 960, 120.0, 0, [0xA0, 67, 30]), (120003, 4.0 + 0.0010416, 120.0, 0, [0xD0, 55]),
     (144000, 4.0 + 0.00104167, 120.0, 0, [0x90, 72, 1]), (144000, 4.0 + 0.00104167, 120.0, 300, [0x80, 72, 64]),
     (150000, 3.5, 120.0, 0, [0x90, 74, 1])]
    + [(168000, 5.0, 120.0, i, m) for i, m in enumerate([[0xF8], [0xFA], [0xF2, 0x10, 0x01], [0xF1, 0x21], [0xFF],
                                                          [0xF7], [0x3C, 0x40], [], [0x90, 0x3C], [0x90, 76, 70]])]
    + [(192000, 6.0, 120.0, 0, [0xFC])],
    # The timeline jumped back: another tempo that changes, events spread inside cycles.
    [(1024, 0.0, 90.0, 100, [0x91, 48, 80]), (1024, 0.0, 90.0, 900, [0xC3, 12]),
     (44100, 1.5, 90.0, 17, [0xE5, 0x7F, 0x7F]), (88200, 3.0, 100.0, 0, [0x81, 48, 0]),
     (200000, 6.8, 75.5, 511, [0xB2, 123, 0])],
    # A long held note over many bars.
    [(0, 0.0, 140.0, 0, [0x90, 36, 127]), (4800000, 233.33, 140.0, 64, [0x80, 36, 0])],
]

def is_channel_message(data):  # status 80-EF with exactly its data bytes
    return bool(data) and 0x80 <= data[0] < 0xF0 and len(data) == (2 if data[0] & 0xE0 == 0xC0 else 3) \
        and all(b < 0x80 for b in data[1:])

def expected(take):  # [(tick, bytes)] of messages, [(tick, type, value)] of the tempo file's meta events
    want, metas, tick = [(0, [0xC0, 0x00])], [(0, "time_signature", (4, 4)), (0, "set_tempo", mido.bpm2tempo(take[0][2]))], 0
    for _, beat, tempo, offset, data in filter(lambda played: is_channel_message(played[4]), take):
        exact = (beat + (offset / RATE) * (tempo / 60.0)) * 480.0
        tick = max(tick, math.floor(exact) + (exact - math.floor(exact) >= 0.5))
        want.append((tick, data))
        if mido.bpm2tempo(tempo) != metas[-1][2]:
            metas.append((tick, "set_tempo", mido.bpm2tempo(tempo)))
    return want, metas

def read_track(path):  # [(tick, bytes)] of messages, [(tick, meta)] of meta events
    midi = mido.MidiFile(str(path))
    assert (midi.type, midi.ticks_per_beat, len(midi.tracks)) == (0, 480, 1), f"{path.name}: header"
    messages, metas, tick = [], [], 0
    for msg in midi.tracks[0]:
        tick += msg.time
        (metas if msg.is_meta else messages).append((tick, msg if msg.is_meta else list(msg.bytes())))
    return messages, metas

def main():
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        events = "".join(" ".join(map(str, [*e[:4], *e[4]])) + "\n" for take in TAKES for e in take)
        subprocess.run([sys.argv[1], tmp], input=events, text=True, check=True)
        for n, take in enumerate(TAKES, 1):
            want, want_metas = expected(take)
            got, metas = read_track(pathlib.Path(tmp) / f"take{n}.mid")
            tempo_got, tempo_metas = read_track(pathlib.Path(tmp) / f"tempo-take{n}.mid")
            described = [(t, m.type, (m.numerator, m.denominator) if m.type == "time_signature" else m.tempo)
                         for t, m in tempo_metas if m.type != "end_of_track"]
            problems = [what for what, bad in [
                (f"meta events {metas}", [m.type for _, m in metas] != ["end_of_track"]),
                (f"messages differ:\n  want {want}\n  got  {got}", got != want),
                (f"tempo metas:\n  want {want_metas}\n  got  {described}", described != want_metas),
                (f"tempo file ends {tempo_metas[-1]}", tempo_metas[-1][1].type != "end_of_track"),
                (f"with tempo, messages differ:\n  got {tempo_got}", tempo_got != got)] if bad]
            failures += bool(problems)
            print(f"take{n}.mid: " + ("; ".join(problems) or f"{len(want)} messages at their ticks"))
    return 1 if failures else 0

sys.exit(main())
