#!/usr/bin/env python3
"""Fixtures and checks of the Ardour host test (ardour_takes.sh).

  notes SCRIPTS_DIR              the note generator (an Ardour Lua DSP script); prints the
                                 session length in samples
  keep-takes SNAPSHOT            turns "Keep takes with the project" on in the saved state
  loop SNAPSHOT                  adds the loop range (bars 1 to 3) to a closed session
  check SNAPSHOT [RELOADED]      the takes in the saved state hold what was played, in order, at
                                 their beat positions; B's recording is the input unchanged; a
                                 reloaded snapshot holds the same takes

The plug-in's state as Ardour stores it: JUCE's state blob (an XML document behind an 8-byte
header), in LV2 as JUCE's own base64 text in state.ttl, in VST3 as the component chunk of a
preset, with JUCE's private data after the XML.
"""
import base64
import glob
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

import mido

RATE, BPM = 48000, 120
BEAT = RATE * 60 // BPM        # samples per beat
LOOP_END = 8 * BEAT            # bars 1 to 3
TICK = 1 / 480                 # the tolerance on beat positions

# (start beat, length in beats, channel, note, velocity): no note crosses the loop's end
NOTES = [(0.5, 1, 0, 60, 100), (1.5, 0.5, 0, 62, 90), (2, 0.5, 0, 64, 80), (3, 0.75, 0, 65, 1),
         (4, 2, 0, 48, 127), (4, 2, 0, 52, 110), (4, 2, 0, 55, 105), (6.25, 0.25, 1, 72, 70),
         (6.5, 1.25, 9, 36, 120), (8.5, 1, 0, 57, 85), (9, 2, 0, 69, 95), (12, 1, 15, 74, 60),
         (13.5, 0.75, 0, 76, 50), (14.5, 1, 3, 71, 66)]
LENGTH = 16 * BEAT


def events():
    """(sample, bytes) of every note-on and note-off, note-offs first on a shared sample."""
    out = []
    for start, length, channel, note, velocity in NOTES:
        out.append((int(start * BEAT), 1, bytes([0x90 | channel, note, velocity])))
        out.append((int((start + length) * BEAT), 0, bytes([0x80 | channel, note, 0])))
    return [(s, b) for s, _, b in sorted(out)]


GENERATOR = '''ardour { ["type"] = "dsp", name = "Sondrel Test Notes", category = "Utility",
  description = [[Plays a fixed list of MIDI events at fixed transport positions.]] }
function dsp_ioconfig () return { { midi_in = 1, midi_out = 1, audio_in = 0, audio_out = 0 } } end
local EVENTS = { @EVENTS@ }
function dsp_run (_, _, n)
  if not Session:transport_rolling () then return end
  local pos, k = Session:transport_sample (), 1
  for _, e in ipairs (EVENTS) do
    if e[1] >= pos and e[1] < pos + n then midiout[k] = { time = e[1] - pos + 1, data = e[2] }; k = k + 1 end
  end
end
'''


JUCE_B64 = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"
XML_MAGIC = b"VC2!"
STATE_STRING = re.compile(r'(StateString>\s*")(\d+\.[.A-Za-z0-9+]*)(")')


def juce_b64_decode(text):
    """JUCE's own base64: six bits a character, least significant first, so four make three bytes."""
    size, data = text.split(".", 1)
    data += "." * (-len(data) % 4)
    out = b"".join(sum(JUCE_B64.index(c) << 6 * k for k, c in enumerate(data[i:i + 4])).to_bytes(3, "little")
                   for i in range(0, len(data), 4))
    return out[:int(size)]


def juce_b64_encode(raw):
    padded = raw + bytes(-len(raw) % 3)
    chars = "".join(JUCE_B64[int.from_bytes(padded[i:i + 3], "little") >> 6 * k & 63]
                    for i in range(0, len(padded), 3) for k in range(4))
    return "%d.%s" % (len(raw), chars[:(len(raw) * 8 + 5) // 6])


def split_blob(blob):
    """(XML element, the bytes after the XML) of a state blob."""
    if blob[:4] != XML_MAGIC:
        raise ValueError("not a JUCE XML state")
    (size,) = struct.unpack_from("<I", blob, 4)
    text = blob[8:8 + size].rstrip(b"\0").decode("utf-8")
    return ET.fromstring(text), blob[8 + size:]


def join_blob(element, tail):
    text = ET.tostring(element, encoding="unicode").encode("utf-8") + b"\0"
    return XML_MAGIC + struct.pack("<I", len(text)) + text + tail


def takes_of(element):
    """The takes in a state element: [(start_time, sample_rate, [(sample, bpm, beat, bytes)])]."""
    node = element.find("Takes")
    if node is None:
        return None
    data = zlib.decompress(base64.b64decode("".join(node.itertext())))
    assert data[:4] == b"MSTK", "not an archive of takes"
    version, count = struct.unpack_from("<II", data, 4)
    assert version in (1, 2)
    offset, takes = 12, []
    for _ in range(count):
        start, rate = struct.unpack_from("<qf", data, offset)
        offset += 12 + (9 if version == 2 else 0)  # version 2: flags and lost events
        (n,) = struct.unpack_from("<Q", data, offset)
        offset += 8
        events = []
        for _ in range(n):
            sample, bpm, beat, length = struct.unpack_from("<qddB", data, offset)
            offset += 25
            events.append((sample, bpm, beat, data[offset:offset + length]))
            offset += length
        takes.append((start, rate, events))
    assert offset == len(data), "bytes after the last take"
    return takes


def vst3_chunks(preset):
    """The chunks of a VST3 preset ('VST3', version, class id, chunk list offset; the list's
    entries name each chunk's offset and size), as [(id, bytes)], and its 40-byte head."""
    assert preset[:4] == b"VST3", "not a VST3 preset"
    (list_offset,) = struct.unpack_from("<q", preset, 40)
    assert preset[list_offset:list_offset + 4] == b"List"
    (count,) = struct.unpack_from("<i", preset, list_offset + 4)
    chunks = []
    for i in range(count):
        cid, offset, size = struct.unpack_from("<4sqq", preset, list_offset + 8 + 20 * i)
        chunks.append((cid, preset[offset:offset + size]))
    return chunks, preset[:40]


def vst3_preset(head, chunks):
    body, entries, offset = b"", b"", 48
    for cid, data in chunks:
        entries += struct.pack("<4sqq", cid, offset + len(body), len(data))
        body += data
    return head + struct.pack("<q", offset + len(body)) + body + b"List" + struct.pack("<i", len(chunks)) + entries


def plugin_state(snapshot, edit=None):
    """The plug-in's state element in a snapshot; `edit(element)`, if given, changes it in place
    and the snapshot (or the LV2 state file) is written back."""
    tree = ET.parse(snapshot)
    folder = os.path.dirname(os.path.abspath(snapshot))
    for p in tree.getroot().iter("Processor"):
        if p.get("name") != "MIDI Sondrel":
            continue
        if p.get("type") == "lv2":
            path = os.path.join(folder, "plugins", p.get("id"), p.find("lv2").get("state-dir"), "state.ttl")
            text = open(path).read()
            match = STATE_STRING.search(text)
            element, tail = split_blob(juce_b64_decode(match.group(2)))
            if edit:
                edit(element)
                encoded = juce_b64_encode(join_blob(element, tail))
                open(path, "w").write(text[:match.start(2)] + encoded + text[match.end(2):])
            return element
        chunk = p.find("vst3").find("chunk")
        chunks, head = vst3_chunks(base64.b64decode(chunk.text.strip()))
        element, tail = split_blob(dict(chunks)[b"Comp"])
        if edit:
            edit(element)
            chunks = [(cid, join_blob(element, tail) if cid == b"Comp" else data) for cid, data in chunks]
            chunk.text = base64.b64encode(vst3_preset(head, chunks)).decode()
            tree.write(snapshot, encoding="UTF-8", xml_declaration=True)
        return element
    raise SystemExit("no MIDI Sondrel in %s" % snapshot)


def add_loop(snapshot):
    tree = ET.parse(snapshot)
    root = tree.getroot()
    ids = [int(e.get("id")) for e in root.iter() if (e.get("id") or "").isdigit()]
    ET.SubElement(root.find("Locations"), "Location", {
        "id": str(max(ids) + 1000), "name": "Loop", "start": "b0", "end": "b%d" % (8 * 1920),
        "flags": "IsAutoLoop,IsHidden", "locked": "0", "timestamp": "0", "cue": "0"})
    tree.write(snapshot, encoding="UTF-8", xml_declaration=True)


def runs_of(take, played):
    """Checks that a take's events, after its Program Change, are runs of the played events
    (each run a stretch of consecutive input events), and returns the runs as index ranges.
    Note-offs the host adds to end sounding notes (at a stop or a jump) may follow a run."""
    index = {(s, b): i for i, (s, b) in enumerate(played)}
    runs, last = [], None
    for sample, bpm, beat, data in take[1:]:
        assert bpm == BPM, "tempo %r" % bpm
        i = index.get((sample, data))
        if i is None:
            assert data[0] & 0xF0 == 0x80 or (data[0] & 0xF0 == 0x90 and data[2] == 0), \
                "an event that was never played: %s at %d" % (data.hex(), sample)
            continue
        assert abs(beat - sample / BEAT) <= TICK, "beat %r for sample %d" % (beat, sample)
        if last is not None and i == last + 1:
            runs[-1][1] = i
        else:
            runs.append([i, i])
        last = i
    return runs


def check(snapshot, reloaded=None):
    played = events()
    element = plugin_state(snapshot)
    assert element.get("keepTakes") == "1", "the option is not in the saved state"
    takes = [t[2] for t in takes_of(element) or []][::-1]  # oldest first
    print("takes, oldest first: %s" % ", ".join(
        "%d events, samples %d..%d" % (len(t), t[1][0] if len(t) > 1 else 0, t[-1][0]) for t in takes))
    assert len(takes) == 5, "expected five takes, not %d" % len(takes)
    for t in takes:
        assert t[0][3] == b"\xc0\x00" and t[0][0] == 0, "a take starts with its Program Change anchor"
    first_after = lambda sample: next(i for i, (s, _) in enumerate(played) if s >= sample)
    in_loop = [i for i, (s, _) in enumerate(played) if s < LOOP_END]
    expected = [
        [[0, len(played) - 1]],                 # from 0 to the end
        [[0, in_loop[-1]]], [[0, in_loop[-1]]],  # two whole loop passes
        None,                                   # the third pass, then on from bar 3
        None,                                   # the locate back to beat 1, rolling on
    ]
    for n, (take, want) in enumerate(zip(takes, expected)):
        runs = runs_of(take, played)
        print("  take %d: runs of input events %s" % (n + 1, runs))
        if want is not None:
            assert runs == want, "take %d holds %s, not %s" % (n + 1, runs, want)
    third = runs_of(takes[3], played)
    assert len(third) == 2 and third[0][0] == 0 and third[1][0] == first_after(LOOP_END), \
        "the third pass starts at the loop's start and after the loop goes on from bar 3"
    assert runs_of(takes[4], played)[0][0] == first_after(RATE // 2), "the take after the locate starts at beat 1"

    # What the plug-in put out, recorded on B from the first roll: the input, unchanged.
    folder = os.path.dirname(os.path.abspath(snapshot))
    files = glob.glob(os.path.join(folder, "interchange", "*", "midifiles", "*_B-*.mid"))
    assert files, "nothing recorded on B"
    midi = mido.MidiFile(max(files, key=os.path.getsize))
    got, now = [], 0.0
    for message in mido.merge_tracks(midi.tracks):
        now += message.time
        if not message.is_meta:
            got.append((round(now / midi.ticks_per_beat * BEAT), bytes(message.bytes())))
    normalised = [(s, bytes([0x80 | b[0] & 15, b[1], 0]) if b[0] & 0xF0 == 0x90 and b[2] == 0 else b) for s, b in got]
    assert normalised == played, "B's recording differs from the input:\n%s\n%s" % (normalised, played)
    print("output: %d events, the input unchanged" % len(got))

    assert element.get("mainMode") == "1.0", "Main Tab was set to 1 before saving"
    if reloaded:
        again = plugin_state(reloaded)
        assert again.get("mainMode") == "1.0", "the reloaded plug-in is not on Main Tab 1"
        assert takes_of(again) == takes_of(element), "the reloaded plug-in holds other takes"
        print("reloaded: the same takes")


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    if command == "notes":
        rows = ", ".join("{ %d, { 0x%02x, %d, %d } }" % (s, b[0], b[1], b[2]) for s, b in events())
        open(os.path.join(args[0], "sondrel_test_notes.lua"), "w").write(GENERATOR.replace("@EVENTS@", rows))
        print(LENGTH)
    elif command == "keep-takes":
        plugin_state(args[0], lambda element: element.set("keepTakes", "1"))
    elif command == "loop":
        add_loop(args[0])
    elif command == "check":
        check(*args)
