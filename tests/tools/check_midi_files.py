#!/usr/bin/env python3
"""Reads the files written by write_midi_fixtures with mido and checks that every message comes
back, in order, at the absolute tick its beat position calls for (480 ticks per quarter note,
halves rounded away from zero), after a Program Change 0 at tick 0."""

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


def main() -> int:
    tool = sys.argv[1]
    failures = 0
    checked = 0
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([tool, tmp], check=True)
        expected = json.loads((pathlib.Path(tmp) / "expected.json").read_text())
        rate = expected["sampleRate"]
        for take in expected["takes"]:
            path = pathlib.Path(tmp) / take["file"]
            midi = mido.MidiFile(str(path))
            want = [(0, [0xC0, 0x00])]
            for p in take["played"]:
                beat = p["hostBeat"] + (p["offset"] / rate) * (p["tempo"] / 60.0)
                want.append((ticks_for(beat), p["bytes"]))

            problems = []
            if midi.type != 0 or midi.ticks_per_beat != 480 or len(midi.tracks) != 1:
                problems.append(f"header: type {midi.type}, division {midi.ticks_per_beat}, {len(midi.tracks)} tracks")
            got = []
            tick = 0
            metas = []
            for msg in midi.tracks[0]:
                tick += msg.time
                if msg.is_meta:
                    metas.append(msg.type)
                else:
                    got.append((tick, list(msg.bytes())))
            if metas != ["end_of_track"]:
                problems.append(f"meta events {metas}")
            if got != want:
                problems.append(f"messages differ:\n  want {want}\n  got  {got}")
            checked += len(want)
            if problems:
                failures += 1
                print(f"{take['file']}: " + "; ".join(problems))
            else:
                print(f"{take['file']}: {len(want)} messages at their ticks")
    print(f"{checked} messages checked in {len(expected['takes'])} files")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
