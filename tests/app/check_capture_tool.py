#!/usr/bin/env python3
"""Runs midi-sondrel-capture on MIDI files it did not write and reads what it wrote with mido.

Usage: check_capture_tool.py TOOL CASE [FILES...]
Cases: progression, debian (FILES: Standard MIDI Files from a Debian package), bad-input, dense,
stopped, tempo (FILES: Debian's MIDI files, the tempo corpus). Exits non-zero on the first failure."""

import collections, math, os, pathlib, random, re, subprocess, sys, tempfile

import mido

TOOL = None

def fail(message):
    print("FAIL: " + message)
    sys.exit(1)

def run(args, cwd, expect_ok=True, timeout=300, under=()):
    result = subprocess.run([*under, TOOL] + args, cwd=cwd, capture_output=True, text=True, timeout=timeout)
    if expect_ok and result.returncode != 0:
        fail(f"{args} exited {result.returncode}: {result.stderr.strip()}")
    return result

def fails_in_one_line(args, cwd, timeout=300):
    """Runs the tool on bad input: a non-zero status, one line on stderr, no claim of success."""
    result = run(args, cwd, expect_ok=False, timeout=timeout)
    lines = result.stderr.strip().splitlines()
    if result.returncode <= 0 or len(lines) != 1 or "saved to" in result.stdout or "Recordings are in" in result.stdout:
        fail(f"{args}: exit {result.returncode}, stdout {result.stdout!r}, stderr {result.stderr!r}")
    return lines[0]

def saved_files(stdout):
    return [pathlib.Path(line.split(": ", 1)[1]) for line in stdout.splitlines() if line.startswith("MIDI saved to: ")]

def chord_lines(stdout):
    """(bar.beat, chord, scales) for every printed chord line."""
    matches = (re.match(r"^(\d+\.\d+)\s+(\S+(?: \S+)*?)\s{2,}(.*)$", line) for line in stdout.splitlines())
    return [(m.group(1), m.group(2).strip(), m.group(3).strip()) for m in matches if m]

def every_message(path):
    """(place at 480 ticks per quarter note, message) for every message of every track."""
    midi = mido.MidiFile(str(path))
    for track in midi.tracks:
        tick = 0
        for msg in track:
            tick += msg.time
            yield tick * 480 / midi.ticks_per_beat, msg

def messages_by_tick(path):
    """mido's reading of an exported file: {tick: Counter(bytes)} for channel messages."""
    midi = mido.MidiFile(str(path))
    if midi.type != 0 or midi.ticks_per_beat != 480 or len(midi.tracks) != 1:
        fail(f"{path}: type {midi.type}, {midi.ticks_per_beat} ticks per beat, {len(midi.tracks)} tracks")
    found = collections.defaultdict(collections.Counter)
    for tick, msg in every_message(path):
        if not msg.is_meta:
            found[int(tick)][tuple(msg.bytes())] += 1
    return found

def expected_by_tick(source):
    """Where each channel message of a source file belongs at 480 ticks per quarter note."""
    return [(place, tuple(msg.bytes())) for place, msg in every_message(source) if not msg.is_meta and msg.type != "sysex"]

def compare(exported, source_exact, label):
    """The exported file holds the recording's Program Change anchor at tick 0 and exactly the
    messages expected, each at its nearest tick (a half tick either way)."""
    found = messages_by_tick(exported)
    if found[0][(0xC0, 0)] < 1:
        fail(f"{label}: no Program Change anchor at tick 0")
    found[0][(0xC0, 0)] -= 1
    missing = 0
    for exact, data in source_exact:
        candidates = {math.floor(exact + 0.5)} | ({math.floor(exact), math.ceil(exact)}
                                                  if abs(exact - math.floor(exact) - 0.5) < 1e-3 else set())
        tick = next((t for t in sorted(candidates) if found[t][data] > 0), None)
        if tick is not None:
            found[tick][data] -= 1
        else:
            missing += 1
            if missing <= 5:
                print(f"  {label}: {data} expected at tick {exact} not found")
    left = sum(sum(c.values()) for c in found.values())
    if missing or left:
        fail(f"{label}: {missing} messages missing, {left} unexpected")
    print(f"{label}: {len(source_exact)} messages at their ticks")

def save(path, tpq, *tracks, type=1):
    """A file of tracks of (tick, message) pairs, each track in order of its ticks."""
    midi = mido.MidiFile(type=type, ticks_per_beat=tpq)
    for timed in tracks:
        track, last = mido.MidiTrack(), 0
        for tick, msg in sorted(timed, key=lambda pair: pair[0]):
            track.append(msg.copy(time=tick - last))
            last = tick
        midi.tracks.append(track)
    midi.save(str(path))

def write_progression(path, drums=False):
    """C major, A minor, F major 7, G dominant 7, one bar each, in a format 1 file at 96 ticks per
    quarter note with the tempo in a conductor track: 90 BPM, 140 BPM from bar 2, 70 BPM from
    beat 2 of bar 3. The notes of each chord start together and stop just before the bar line.
    With drums, a hi-hat (F#2) on channel 10 sounds on every beat."""
    tpq = 96
    conductor = [(0, mido.MetaMessage("time_signature", numerator=4, denominator=4))] + [
        (tick, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(bpm))) for tick, bpm in ((0, 90), (4 * tpq, 140), (9 * tpq, 70))]
    notes = [(0, mido.Message("program_change", program=4, channel=2))]
    for bar, chord in enumerate([[60, 64, 67], [57, 60, 64], [53, 57, 60, 64], [55, 59, 62, 65]]):
        notes += [(bar * 4 * tpq, mido.Message("note_on", note=n, velocity=90, channel=2)) for n in chord]
        notes += [(bar * 4 * tpq + 4 * tpq - 12, mido.Message("note_off", note=n, velocity=0, channel=2)) for n in chord]
    notes.append((16 * tpq - 12, mido.Message("control_change", control=64, value=0, channel=2)))
    hihat = [(beat * tpq + off, mido.Message(kind, note=42, velocity=80 if off == 0 else 0, channel=9))
             for beat in range(16) for off, kind in ((0, "note_on"), (tpq // 2, "note_off"))]
    save(path, tpq, conductor, notes, *([hihat] if drums else []))

def set_tempos(path):
    """[(tick, microseconds per quarter)] of a file's tempo events, ticks at 480 per quarter."""
    return sorted((int(place), msg.tempo) for place, msg in every_message(path) if msg.type == "set_tempo")

def case_progression(tmp):
    source = pathlib.Path(tmp, "progression.mid")
    write_progression(source)
    out = run([str(source), "--out", "p"], cwd=tmp)
    lines = chord_lines(out.stdout)
    want = [("1.1", "C Major"), ("2.1", "A Minor"), ("3.1", "F Major 7"), ("4.1", "G Dominant 7")]
    if [(place, chord) for place, chord, _ in lines] != want:
        fail(f"progression: printed {lines}, expected {want}\n{out.stdout}")
    if "C Major (Ionian)" not in lines[0][2]:
        fail(f"progression: top scales for C major are {lines[0][2]}")
    files = saved_files(out.stdout)
    if len(files) != 1:
        fail(f"progression: {len(files)} files written")
    compare(files[0], expected_by_tick(source), "progression (format 1, tempo changes)")

    # With the tempo: the same messages, and each tempo at the first message played at it.
    tempo = saved_files(run([str(source), "--out", "t", "--with-tempo"], cwd=tmp).stdout)[0]
    if messages_by_tick(tempo) != messages_by_tick(files[0]):
        fail("progression: the file with the tempo holds other messages")
    sources, want_tempos = set_tempos(source), []
    for tick in sorted(messages_by_tick(files[0])):
        now = [t for at, t in sources if at <= tick][-1]
        if not want_tempos or want_tempos[-1][1] != now:
            want_tempos.append((tick, now))
    if set_tempos(tempo) != want_tempos:
        fail(f"progression: tempos {set_tempos(tempo)}, expected {want_tempos}")

    # Drums on channel 10 change what the plug-in names; the tool can leave them out.
    drums = pathlib.Path(tmp, "drums.mid")
    write_progression(drums, drums=True)
    heard, left_out = ([(p, c) for p, c, _ in chord_lines(run([str(drums), "--out", "d", *extra], cwd=tmp).stdout)]
                       for extra in ([], ["--ignore-channel", "10"]))
    if left_out != want or heard == want or any(a[1] == b[1] for a, b in zip(heard, heard[1:])):
        fail(f"progression with drums: printed {heard}, with channel 10 left out {left_out}")
    print("progression: tempo file and channel 10 left out as expected")

def case_debian(tmp, sources):
    for source in sources or fail("no files given"):
        out = run([source, "--out", pathlib.Path(source).stem], cwd=tmp, timeout=600)
        files = saved_files(out.stdout)
        if len(files) != 1:
            fail(f"{source}: {len(files)} files written")
        chords = [c for _, c, _ in chord_lines(out.stdout)]
        if not chords or any(a == b for a, b in zip(chords, chords[1:])):
            fail(f"{source}: no chords printed, or one printed twice in a row: {chords}")
        compare(files[0], expected_by_tick(source), pathlib.Path(source).name)

def case_bad_input(tmp):
    t = pathlib.Path(tmp)
    header = b"MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60"
    def track(body):
        return b"MTrk" + len(body).to_bytes(4, "big") + body
    os.mkfifo(t / "no-writer.fifo")
    (t / "folder.mid").mkdir()
    # Only regular files are read; a slow pass to each bar line counts in the 24-hour limit
    # (255/1 bars of 16.8 s quarter notes: 4.75 hours each).
    cases = {
        "text.mid": b"This is not a MIDI file at all\n",
        "empty.mid": b"",
        "truncated.mid": header + b"MTrk\x00\x00\x01\x00\x00\x90\x3c",
        "five-byte-length.mid": header + track(b"\x00\xff\x01\x81\x81\x81\x81\x01x"),
        "running-status-first.mid": header + track(b"\x00\x3c\x40\x00\xff\x2f\x00"),
        "status-in-data.mid": header + track(b"\x00\x90\x3c\x91\x00\xff\x2f\x00"),
        "/dev/zero": None, str(t / "no-writer.fifo"): None, "folder.mid": None,
        "slow.mid": header + track(b"\x00\xff\x58\x04\xff\x00\x18\x08\x00\xff\x51\x03\xff\xff\xff\x00\x90\x3c\x40"),
    }
    for name, data in cases.items():
        if data is not None:
            (t / name).write_bytes(data)
        line = fails_in_one_line([name, "--out", "bad"] + (["--loop", "100"] if name == "slow.mid" else []), tmp, 60)
        if name not in line:
            fail(f"{name}: the message does not name the file: {line}")
        print(f"{name}: {line}")
    # Bad arguments, and a folder that exists but cannot be written.
    for args in (["missing.mid"], ["--loop", "0"], ["--loop", "x"], ["--out"], ["--frobnicate"], ["a.mid", "b.mid"],
                 ["--out", "/proc/self"]):
        fails_in_one_line(args, tmp)

def case_dense(tmp):
    """300,000 notes at one instant: each of three passes is a take of its own, every note read
    back, and memory stays within a bound of the input (the file reader's event records and the
    plug-in's own recording take about 24 bytes per byte of such a file)."""
    body = b"\x00\x90\x3c\x40" + b"".join(b"\x00" + bytes([i % 128, 1 + i // 128 % 127]) for i in range(300_000)) \
        + b"\x00\xff\x2f\x00"
    source = pathlib.Path(tmp, "dense.mid")
    source.write_bytes(b"MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk" + len(body).to_bytes(4, "big") + body)
    files = saved_files(run([str(source), "--loop", "3", "--out", "dense"], cwd=tmp).stdout)
    if len(files) != 3:
        fail(f"dense: {len(files)} takes from three passes")
    for f in files:
        found = messages_by_tick(f)
        if list(found) != [0] or sum(found[0].values()) != 300_002:
            fail(f"dense: {f.name} holds {sum(sum(c.values()) for c in found.values())} messages")
    # The tool's peak resident memory, from GNU time (this interpreter is not counted).
    baseline, peak = (int(run(args, tmp, under=("/usr/bin/time", "-f", "%M")).stderr.split()[-1])
                      for args in (["--out", "demo"], [str(source), "--out", "dense"]))
    if (peak - baseline) * 1024 > 30 * source.stat().st_size:
        fail(f"dense: {peak - baseline} KiB held for a {source.stat().st_size}-byte file")
    print(f"dense: three takes; {peak - baseline} KiB held for a {source.stat().st_size // 1024} KiB file")

def write_performance(path, bpm, kind, seed):
    """Twelve bars of 4/4 after a beat's rest, played by a human: every onset up to 15 ms early or
    late, velocities 50-110. A left hand (bass on one and three with chords on two and four, or
    a chord on every beat) under a melody of quarters and eighths; "rests" leaves bars out,
    "swing" plays the off-beat eighths at two thirds of the beat. The sustain pedal goes down
    half a beat in and up a tick before the fourteenth bar, so that a loop of it plays on."""
    rng, tpq = random.Random(seed), 480
    timed = [(0, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(bpm))),
             (tpq // 2, mido.Message("control_change", control=64, value=127)),
             (52 * tpq - 1, mido.Message("control_change", control=64, value=0))]
    def play(beat, lowest):
        tick = round((1 + beat) * tpq + rng.uniform(-0.015, 0.015) * bpm / 60 * tpq)
        note = lowest + rng.randrange(12)
        timed.extend([(tick, mido.Message("note_on", note=note, velocity=rng.randint(50, 110))),
                      (tick + tpq // 3, mido.Message("note_off", note=note))])
    oom_pah = rng.random() < 0.5
    for bar in range(12):
        if kind == "rests" and bar > 0 and (bar % 4 == 2 or rng.random() < 1 / 6):
            continue
        for beat in range(4):
            for _ in range(1 if oom_pah and beat % 2 == 0 else 3):
                play(bar * 4 + beat, 36 if oom_pah and beat % 2 == 0 else 52)
        for beat in rng.choice([(0, 1, 2, 3), (0, .5, 1, 2, 2.5, 3), (0, 1.5, 2, 3), (0, 2), (0, .5, 1, 1.5, 2, 3)]):
            if kind != "rests" or rng.random() > 0.2:
                play(bar * 4 + (beat // 1 + 2 / 3 if kind == "swing" and beat % 1 else beat), 67)
    save(path, tpq, timed, type=0)

def takes(stdout):
    """(detected BPM or None, the file's BPM) for every take line of a stopped run."""
    found = re.findall(r"^take \d+: detected (?:([\d.]+) BPM|no tempo), file ([\d.]+) BPM$", stdout, re.M)
    return [(float(d) if d else None, float(f)) for d, f in found]

def case_stopped(tmp):
    """Two passes of a humanised performance at 97 BPM with the transport stopped, nothing
    between them but the tool's silence: two free takes, each written as recorded (at the host's
    tempo, from its first event on: the pedal at tick 0, not half a beat in) or at its detected
    tempo, its notes on that tempo's beats."""
    source = pathlib.Path(tmp, "human.mid")
    write_performance(source, 97, "steady", 7)
    plain, timed = (run([str(source), "--stopped", "--loop", "2", "--out", out] + extra, cwd=tmp).stdout
                    for out, extra in (("plain", []), ("timed", ["--with-tempo"])))
    heard = takes(plain)
    if len(heard) != 2 or takes(timed) != heard or any(not d or abs(d / 97 - 1) > 0.02 or f != 97 for d, f in heard):
        fail(f"stopped: takes {heard} and {takes(timed)}, expected two at 97 BPM")
    expected = expected_by_tick(source)
    first = min(place for place, data in expected if data[0] == 0x90)
    wanted = sorted((round((place - first) / 240), data[1]) for place, data in expected if data[0] == 0x90)
    worst = 0
    for recorded, written, (bpm, _) in zip(saved_files(plain), saved_files(timed), heard, strict=True):
        compare(recorded, [(place - 240, data) for place, data in expected], f"{recorded.name} as recorded")
        events = list(every_message(written))
        tempo = [mido.tempo2bpm(m.tempo) for _, m in events if m.type == "set_tempo"]
        metre = [(t, m.numerator, m.denominator) for t, m in events if m.type == "time_signature"]
        notes = [(t, m.bytes()[1]) for t, m in events if m.type == "note_on" and m.velocity]
        drift = max(abs(t - 240 * round(t / 240)) for t, _ in notes)
        worst = max(worst, drift)
        if len(tempo) != 1 or abs(tempo[0] - bpm) > 0.01 or metre != [(0, 4, 4)] or drift > 24 \
                or sorted((round(t / 240), n) for t, n in notes) != wanted:
            fail(f"{written.name}: tempo {tempo}, metre {metre}, notes up to {drift} ticks off their eighths "
                 f"or on other beats than played")
    print(f"stopped: two free takes at {heard[0][0]} BPM; their notes on its eighths, {worst:.0f} ticks off at most")

def case_tempo(tmp, debian):
    """The tempo detected in takes played with the transport stopped, against the file's own, on
    Debian's MIDI files and on humanised performances: within 2 %; half or double is wrong."""
    written = []
    for seed, (kind, bpm) in enumerate([("steady", 62), ("steady", 97), ("steady", 133), ("steady", 188),
                                        ("rests", 70), ("rests", 110), ("rests", 150), ("rests", 199),
                                        ("swing", 66), ("swing", 121), ("swing", 160), ("swing", 176)]):
        written.append(pathlib.Path(tmp, f"{kind}-{bpm}.mid"))
        write_performance(written[-1], bpm, kind, seed)
    hits = {}
    for source in list(debian) + written:
        found = takes(run([str(source), "--stopped", "--out", "tempo"], cwd=tmp).stdout)
        if len(found) != 1:
            fail(f"{source}: {len(found)} takes")
        detected, true = found[0]
        hits[source] = detected is not None and abs(detected / true - 1) <= 0.02
        print(f"{'' if hits[source] else 'MISS':4} {detected or 0:7.2f} BPM detected, {true:7.2f} BPM in {pathlib.Path(source).name}")
    print(", ".join(f"{name} {sum(hits[f] for f in files)} of {len(files)}"
                    for name, files in (("Debian", debian), ("written", written), ("together", hits))))
    if len(debian) < 40 or sum(hits[f] for f in debian) < 0.82 * len(debian) or not all(hits[f] for f in written) \
            or not any(hits[f] for f in debian if f.endswith("music000.mid")):
        fail(f"{len(debian)} Debian files; below 82 % of them, a written file or music000.mid missed")

if __name__ == "__main__":
    TOOL = sys.argv[1]
    cases = {"progression": case_progression, "bad-input": case_bad_input, "dense": case_dense,
             "debian": lambda tmp: case_debian(tmp, sys.argv[3:]), "stopped": case_stopped,
             "tempo": lambda tmp: case_tempo(tmp, sys.argv[3:])}
    with tempfile.TemporaryDirectory() as tmp:
        cases[sys.argv[2]](tmp)
