#!/usr/bin/env python3
"""Reads the files written by write_midi_fixtures with mido and checks that every channel message
comes back, in order, at the absolute tick its beat position calls for (480 ticks per quarter
note, halves rounded away from zero), after a Program Change 0 at tick 0; that nothing else was
written; and that the file with the tempo holds the same messages, a 4/4 time signature and a
tempo event at tick 0 and wherever the tempo changed."""

import json
import math
import pathlib
import subprocess
import sys
import tempfile

import mido


def ticks_for(beat: float) -> int:
    exact = beat * 480.0
    whole = math.floor(exact)
    return whole + (1 if exact - whole >= 0.5 else 0)


def is_channel_message(data) -> bool:
    """What a track can hold: status 80-EF with exactly its data bytes."""
    if not data or not 0x80 <= data[0] < 0xF0:
        return False
    size = 2 if data[0] & 0xE0 == 0xC0 else 3
    return len(data) == size and all(b < 0x80 for b in data[1:])


def read_track(path):
    """(header problems, [(tick, bytes)] of messages, [(tick, meta)] of meta events)."""
    midi = mido.MidiFile(str(path))
    problems = []
    if midi.type != 0 or midi.ticks_per_beat != 480 or len(midi.tracks) != 1:
        problems.append(f"header: type {midi.type}, division {midi.ticks_per_beat}, {len(midi.tracks)} tracks")
    messages, metas = [], []
    tick = 0
    for msg in midi.tracks[0]:
        tick += msg.time
        if msg.is_meta:
            metas.append((tick, msg))
        else:
            messages.append((tick, list(msg.bytes())))
    return problems, messages, metas


def tempo_problems(metas, want_tempos):
    """The tempo file's meta events against [(tick, microseconds)]."""
    problems = []
    signatures = [(t, m.numerator, m.denominator) for t, m in metas if m.type == "time_signature"]
    tempos = [(t, m.tempo) for t, m in metas if m.type == "set_tempo"]
    if signatures != [(0, 4, 4)]:
        problems.append(f"time signatures {signatures}")
    if tempos != want_tempos:
        problems.append(f"tempos:\n  want {want_tempos}\n  got  {tempos}")
    if [m.type for _, m in metas if m.type not in ("time_signature", "set_tempo")] != ["end_of_track"]:
        problems.append(f"meta events {[m.type for _, m in metas]}")
    return problems


def main() -> int:
    tool = sys.argv[1]
    failures = 0
    checked = 0
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([tool, tmp], check=True)
        expected = json.loads((pathlib.Path(tmp) / "expected.json").read_text())
        rate = expected["sampleRate"]
        for take in expected["takes"]:
            played = take["played"]
            want = [(0, [0xC0, 0x00])]
            want_tempos = [(0, mido.bpm2tempo(played[0]["tempo"]))]
            for p in played:
                if not is_channel_message(p["bytes"]):
                    continue
                beat = p["hostBeat"] + (p["offset"] / rate) * (p["tempo"] / 60.0)
                want.append((ticks_for(beat), p["bytes"]))
                if mido.bpm2tempo(p["tempo"]) != want_tempos[-1][1]:
                    want_tempos.append((want[-1][0], mido.bpm2tempo(p["tempo"])))

            problems, got, metas = read_track(pathlib.Path(tmp) / take["file"])
            if [m.type for _, m in metas] != ["end_of_track"]:
                problems.append(f"meta events {[m.type for _, m in metas]}")
            if got != want:
                problems.append(f"messages differ:\n  want {want}\n  got  {got}")
            tempo_header, tempo_got, tempo_metas = read_track(pathlib.Path(tmp) / ("tempo-" + take["file"]))
            problems += tempo_header + tempo_problems(tempo_metas, want_tempos)
            if tempo_got != got:
                problems.append(f"with tempo, messages differ:\n  plain {got}\n  tempo {tempo_got}")
            checked += len(want)
            if problems:
                failures += 1
                print(f"{take['file']}: " + "; ".join(problems))
            else:
                print(f"{take['file']}: {len(want)} messages at their ticks, {len(want_tempos)} tempos")
    print(f"{checked} messages checked in {len(expected['takes'])} files")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
