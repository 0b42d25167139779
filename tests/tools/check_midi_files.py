#!/usr/bin/env python3
"""Reads write_midi_fixtures' files with mido: every channel message, and nothing else, after a
Program Change 0, at the tick its beat calls for (480 a quarter, halves away from zero); the tempo
file holds the same, a 4/4 time signature and a tempo at tick 0 and at every change."""

import json, math, pathlib, subprocess, sys, tempfile

import mido

def is_channel_message(data):  # status 80-EF with exactly its data bytes
    return bool(data) and 0x80 <= data[0] < 0xF0 and len(data) == (2 if data[0] & 0xE0 == 0xC0 else 3) \
        and all(b < 0x80 for b in data[1:])


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
        subprocess.run([sys.argv[1], tmp], check=True)
        expected = json.loads((pathlib.Path(tmp) / "expected.json").read_text())
        for n, played in enumerate(expected["takes"], 1):
            want = [(0, [0xC0, 0x00])]
            want_metas = [(0, "time_signature", (4, 4)), (0, "set_tempo", mido.bpm2tempo(played[0][1]))]
            for host_beat, tempo, offset, data in played:
                if not is_channel_message(data):
                    continue
                exact = (host_beat + (offset / expected["sampleRate"]) * (tempo / 60.0)) * 480.0
                want.append((math.floor(exact) + (exact - math.floor(exact) >= 0.5), data))
                if mido.bpm2tempo(tempo) != [m for m in want_metas if m[1] == "set_tempo"][-1][2]:
                    want_metas.append((want[-1][0], "set_tempo", mido.bpm2tempo(tempo)))
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
