#!/usr/bin/env python3
"""Fixtures and checks of the host tests: the songs they play, the plug-in's state as each host
stores it, and the takes decoded from it compared note by note with what was played. Commands:
ardour-plan SCRIPTS_DIR SONG, prepare SNAPSHOT SONG, ardour-check HOST SONG SNAPSHOT RELOADED,
old-session SNAPSHOT RELOADED, qtractor-session DIR, qtractor-check SESSION, jalv-state DIR,
jalv-check STATE MASTER_LOG (each function says what it writes or checks).

The plug-in's state: JUCE's state blob (an XML document behind an 8-byte header) as JUCE's own
base64 text under the key ...:StateString (LV2: state.ttl, Qtractor: the session's plug-in
configs), in VST3 as the component chunk of a preset, with JUCE's private data after the XML.
"""
import base64, glob, math, os, re, struct, sys, xml.etree.ElementTree as ET, zlib

import mido

RATE = 48000
TICKS = 480  # per quarter note, as the exported files have them

class Song:
    """A meter, a tempo map ([(beat, bpm)], the first at 0) and a note every half beat for
    `beats` beats (the even ones half a beat long, so that a note-off shares its sample with the
    next note-on; every note its own number; velocities and `channels` take turns); optionally a
    beat to locate to and a loop range (start, end) in beats."""

    def __init__(self, beats_per_bar, tempos, beats, locate=None, loop=None, channels=(0, 1, 9, 15)):
        self.beats_per_bar, self.tempos, self.beats, self.locate, self.loop = beats_per_bar, tempos, beats, locate, loop
        self.notes = [(k / 2, 0.25 if k % 2 else 0.5, channels[k % len(channels)], 30 + k, 1 + k * 37 % 127)
                      for k in range(2 * beats)]

    def sample(self, beat):
        at, (b0, bpm0) = 0.0, self.tempos[0]
        for b, bpm in self.tempos[1:]:
            if beat < b:
                break
            at, b0, bpm0 = at + (b - b0) * 60 * RATE / bpm0, b, bpm
        return at + (beat - b0) * 60 * RATE / bpm0

    def tempo(self, beat):
        return [bpm for b, bpm in self.tempos if b <= max(beat, 0)][-1]

    def events(self):
        """[(sample, beat, bytes)] of every note-on and note-off, note-offs first on a shared beat."""
        out = []
        for start, length, channel, note, velocity in self.notes:
            out += [(start, 1, bytes([0x90 | channel, note, velocity])), (start + length, 0, bytes([0x80 | channel, note, 0]))]
        return [(round(self.sample(b)), b, m) for b, _, m in sorted(out)]

SONGS = {
    # 4/4: 100 BPM from the bar line of bar 3, 150 BPM from beat 3 of bar 4; rolled from the
    # start, located to bar 6 and rolled, then looped over bar 6
    "changes": Song(4, [(0, 120), (8, 100), (14, 150)], 28, locate=20, loop=(20, 24)),
    # 3/4: 97 BPM (not a whole number of samples a beat) from beat 2 of bar 3, only rolled
    "waltz": Song(3, [(0, 120), (7, 97)], 18),
    # Qtractor plays a clip on its track's channel; played from the start, then from the edit
    # head on beat 3 of bar 2
    "qtractor": Song(4, [(0, 120)], 16, locate=6, channels=(0,)),
}

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
    """The takes in a state element: [(start_time, sample_rate, [(sample, bpm, beat, bytes)],
    captured_while_stopped)]."""
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
        stopped = version == 2 and data[offset + 12] & 1 == 1  # version 2: flags, then lost events
        offset += 12 + (9 if version == 2 else 0)
        (n,) = struct.unpack_from("<Q", data, offset)
        offset += 8
        events = []
        for _ in range(n):
            sample, bpm, beat, length = struct.unpack_from("<qddB", data, offset)
            offset += 25
            events.append((sample, bpm, beat, data[offset:offset + length]))
            offset += length
        takes.append((start, rate, events, stopped))
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

def ttl_state(text):
    """(state element, bytes after its XML, the match of its text) in an LV2 state (Turtle)."""
    match = STATE_STRING.search(text)
    assert match, "no state of the plug-in"
    return split_blob(juce_b64_decode(match.group(2))) + (match,)

def state_string(**attributes):
    """JUCE's base64 text of a state holding only these attributes."""
    return juce_b64_encode(join_blob(ET.Element("MidiSondrelState", attributes), b""))

def plugin_state(path, edit=None):
    """The plug-in's state element in an Ardour snapshot, a Qtractor session (its own compressed
    LV2 state: a 4-byte length and zlib, in base64) or an LV2 state file as jalv saves it;
    `edit(element)`, if given, changes it in place and the Ardour snapshot (or its LV2 state file)
    is written back."""
    if path.endswith(".ttl"):
        return ttl_state(open(path).read())[0]
    tree = ET.parse(path)
    if path.endswith(".qtr"):
        config = next(c.text for c in tree.iter("config") if c.get("key") == "urn:qtractor:state#key")
        return ttl_state(zlib.decompress(base64.b64decode("".join(config.split()))[4:]).decode())[0]
    folder = os.path.dirname(os.path.abspath(path))
    for p in tree.getroot().iter("Processor"):
        if p.get("name") != "MIDI Sondrel":
            continue
        if p.get("type") == "lv2":
            ttl = os.path.join(folder, "plugins", p.get("id"), p.find("lv2").get("state-dir"), "state.ttl")
            text = open(ttl).read()
            element, tail, match = ttl_state(text)
            if edit:
                edit(element)
                encoded = juce_b64_encode(join_blob(element, tail))
                open(ttl, "w").write(text[:match.start(2)] + encoded + text[match.end(2):])
            return element
        chunk = p.find("vst3").find("chunk")
        chunks, head = vst3_chunks(base64.b64decode(chunk.text.strip()))
        element, tail = split_blob(dict(chunks)[b"Comp"])
        if edit:
            edit(element)
            chunks = [(cid, join_blob(element, tail) if cid == b"Comp" else data) for cid, data in chunks]
            chunk.text = base64.b64encode(vst3_preset(head, chunks)).decode()
            tree.write(path, encoding="UTF-8", xml_declaration=True)
        return element
    raise SystemExit("no MIDI Sondrel in %s" % path)

def prepare(snapshot, name):
    """The song's loop range added to a closed session, "Keep takes with the project" turned on."""
    plugin_state(snapshot, lambda element: element.set("keepTakes", "1"))
    song = SONGS[name]
    if not song.loop:
        return
    tree = ET.parse(snapshot)
    root = tree.getroot()
    ids = [int(e.get("id")) for e in root.iter() if (e.get("id") or "").isdigit()]
    ET.SubElement(root.find("Locations"), "Location", {
        "id": str(max(ids) + 1000), "name": "Loop", "start": "b%d" % (song.loop[0] * 1920),
        "end": "b%d" % (song.loop[1] * 1920), "flags": "IsAutoLoop,IsHidden", "locked": "0", "timestamp": "0", "cue": "0"})
    tree.write(snapshot, encoding="UTF-8", xml_declaration=True)

def runs_of(take, played, tempo, errors, wrong):
    """Checks each event of a take (after its Program Change anchor) against the played events
    [(sample, beat, bytes)] with the same bytes, the nearest in time: played within 30 samples of
    it, its beat within half a tick of the played beat and on the same tick (each |error| in
    ticks goes to `errors`, what is wrong to `wrong`), its tempo `tempo(beat)` (either side of a
    change) if given. Returns the runs of consecutive played events the take holds, as index
    ranges. Note-offs the host adds to end sounding notes (at a stop or a jump) may follow a run."""
    runs, last = [], None
    for sample, bpm, beat, data in take[1:]:
        i = min((i for i, (_, _, m) in enumerate(played) if m == data), key=lambda i: abs(played[i][0] - sample), default=None)
        if i is None or abs(played[i][0] - sample) > 30:
            if data[0] & 0xF0 != 0x80:
                wrong.append("%s at sample %d: never played there" % (data.hex(), sample))
            continue
        want = played[i][1]
        error = (beat - want) * TICKS
        errors.append(abs(error))
        if abs(error) > 0.5 or math.floor(beat * TICKS + 0.5) != math.floor(want * TICKS + 0.5):
            wrong.append("%s at sample %d: beat %.6f, played at beat %.6f (%+.2f ticks)" % (data.hex(), sample, beat, want, error))
        assert tempo is None or min(abs(bpm - tempo(want - d)) for d in (0, 1e-9)) < 1e-3, \
            "%s at beat %.4f: tempo %r" % (data.hex(), want, bpm)
        if last is not None and i == last + 1:
            runs[-1][1] = i
        else:
            runs.append([i, i])
        last = i
    return runs

def check_takes(host, element, played, expected, tempo=None, stopped=None):
    """The takes in a saved state (oldest first), note by note (runs_of), then one take a pass:
    `expected` holds, a take at a time, the runs it must hold, or the index its one run must
    start at (it ends where the transport stopped). With `stopped` (events played while the
    transport stood still, as `played`), the oldest take must be captured while stopped and hold
    exactly those."""
    assert element.get("keepTakes") == "1", "the option is not in the saved state"
    takes = (takes_of(element) or [])[::-1]
    if stopped:
        assert takes and takes[0][3], "no take captured while stopped comes first"
        wrong = []
        assert runs_of(takes.pop(0)[2], stopped, None, [], wrong) == [[0, len(stopped) - 1]] and not wrong, \
            "the take captured while stopped: %s" % wrong
    assert not any(t[3] for t in takes), "a take captured while stopped among those played"
    takes = [t[2] for t in takes]
    print("takes, oldest first: %s" % ", ".join(
        "%d events, samples %d..%d" % (len(t), t[1][0] if len(t) > 1 else 0, t[-1][0]) for t in takes))
    runs, errors, wrong = [], [], []
    for n, take in enumerate(takes):
        assert take[0][3] == b"\xc0\x00" and take[0][0] == 0, "a take starts with its Program Change anchor"
        runs.append(runs_of(take, played, tempo, errors, wrong))
        print("  take %d: runs of played events %s" % (n + 1, runs[-1]))
    assert errors, "no notes compared"
    print("%s: %d note events compared, largest error %.3f ticks" % (host, len(errors), max(errors)))
    assert not wrong, "%d note events not where they were played, the first:\n  %s" % (len(wrong), "\n  ".join(wrong[:5]))
    assert len(takes) == len(expected), "expected %d takes, not %d" % (len(expected), len(takes))
    for n, (got, want) in enumerate(zip(runs, expected)):
        if isinstance(want, int):
            assert len(got) == 1 and got[0][0] == want, "take %d holds %s, not one run from event %d" % (n + 1, got, want)
        else:
            assert got == want, "take %d holds %s, not %s" % (n + 1, got, want)

def ardour_check(host, name, snapshot, reloaded):
    """One take per roll, locate and loop pass, each note where it was played; B's recording the
    input; Main Tab at 1, and the same takes after reloading."""
    song = SONGS[name]
    played = song.events()
    element = plugin_state(snapshot)
    first_after = lambda beat: next(i for i, (_, b, _) in enumerate(played) if b >= beat)
    expected = [[[0, len(played) - 1]]]  # from 0 to the end
    if song.locate is not None:
        expected.append([[first_after(song.locate), len(played) - 1]])
    if song.loop:
        in_loop = [[first_after(song.loop[0]), first_after(song.loop[1]) - 1]]
        expected += [in_loop, in_loop, in_loop[0][0]]  # two whole passes, the third begun
    check_takes(host, element, played, expected, song.tempo)

    # What the plug-in put out, recorded on B from the first roll: the input, unchanged.
    folder = os.path.dirname(os.path.abspath(snapshot))
    files = glob.glob(os.path.join(folder, "interchange", "*", "midifiles", "*_B-*.mid"))
    assert files, "nothing recorded on B"
    midi = mido.MidiFile(max(files, key=os.path.getsize))
    got, now = [], 0
    for message in mido.merge_tracks(midi.tracks):
        now += message.time
        if not message.is_meta:
            b = bytes(message.bytes())
            got.append((now / midi.ticks_per_beat, bytes([0x80 | b[0] & 15, b[1], 0]) if b[0] & 0xF0 == 0x90 and b[2] == 0 else b))
    assert [m for _, m in got] == [m for _, _, m in played] and \
        all(abs(b - p[1]) <= 1 / 1920 for (b, _), p in zip(got, played)), "B's recording differs from the input"
    print("output: %d events, the input unchanged" % len(got))

    assert element.get("mainMode") == "1.0", "Main Tab was set to 1 before saving"
    again = plugin_state(reloaded)
    assert again.get("mainMode") == "1.0", "the reloaded plug-in is not on Main Tab 1"
    assert takes_of(again) == takes_of(element), "the reloaded plug-in holds other takes"
    print("reloaded: the same takes")

def old_session(snapshot, reloaded):
    """The fixture's page, option and takes, back in the state saved after loading it."""
    before, after = plugin_state(snapshot), plugin_state(reloaded)
    assert (after.get("mainMode"), after.get("keepTakes")) == ("1.0", "1"), "page and option not back: %s" % after.attrib
    assert len(takes_of(before) or []) == 5 and takes_of(after) == takes_of(before), "the takes are not back"
    print("the old session's page, option and five takes are back")

QTR = """<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE qtractorSession>
<session name="sondrel" version="Qtractor 0.9.31">
 <properties><directory>{folder}</directory><sample-rate>{rate}</sample-rate><tempo>{bpm}</tempo>
  <ticks-per-beat>960</ticks-per-beat><beats-per-bar>{beats_per_bar}</beats-per-bar></properties>
 <files><midi-list><file name="notes">notes.mid</file></midi-list></files>
 <tracks>
  <view><edit-head>{locate}</edit-head><edit-tail>{end}</edit-tail></view>
  <track name="Notes" type="midi">
   <properties><input-bus>Master</input-bus><output-bus>Master</output-bus><midi-channel>0</midi-channel></properties>
   <clips><clip name="notes"><properties><name>notes</name><start>0</start><offset>0</offset><length>{end}</length></properties>
    <midi-clip><filename>notes.mid</filename><track-channel>1</track-channel></midi-clip></clip></clips>
   <plugins><plugin type="LV2"><filename>urn:corvel:midi-sondrel</filename><index>0</index><activated>1</activated>
    <configs><config key="urn:corvel:midi-sondrel:StateString" type="http://lv2plug.in/ns/ext/atom#String">{state}</config></configs>
   </plugin></plugins>
  </track>
 </tracks>
</session>
"""

def qtractor_session(folder, song=SONGS["qtractor"]):
    """notes.mid (the song's notes as a format 1 file, 960 ticks a beat) and sondrel.qtr."""
    midi = mido.MidiFile(type=1, ticks_per_beat=960)
    midi.tracks.append(mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(song.tempos[0][1]))]))
    track, last = mido.MidiTrack(), 0
    for _, beat, data in song.events():
        track.append(mido.Message.from_bytes(data).copy(time=round(beat * 960) - last))
        last = round(beat * 960)
    midi.tracks.append(track)
    os.makedirs(folder, exist_ok=True)
    midi.save(os.path.join(folder, "notes.mid"))
    open(os.path.join(folder, "sondrel.qtr"), "w").write(QTR.format(
        folder=os.path.abspath(folder), rate=RATE, bpm=song.tempos[0][1], beats_per_bar=song.beats_per_bar,
        locate=round(song.sample(song.locate)), end=round(song.sample(song.beats)),
        state=state_string(mainMode="0.0", keepTakes="1")))

def qtractor_check(session, song=SONGS["qtractor"]):
    """A take from the start and one from the edit head, exact."""
    played = song.events()
    first_after = next(i for i, (_, b, _) in enumerate(played) if b >= song.locate)
    check_takes("Qtractor LV2", plugin_state(session), played, [0, first_after])

def jalv_state(folder):
    """A jalv state folder (-l) with the options on, capture while stopped too."""
    os.makedirs(folder, exist_ok=True)
    open(os.path.join(folder, "state.ttl"), "w").write(
        "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
        "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n<> a pset:Preset ; lv2:appliesTo <urn:corvel:midi-sondrel> ;\n"
        "  state:state [ <urn:corvel:midi-sondrel:StateString> \"%s\" ] .\n"
        % state_string(mainMode="0.0", keepTakes="1", captureWhileStopped="1"))

def jalv_check(state, log):
    """bbt_master's log: "frame beat bytes" a line, "locate FRAME" where it jumped back. After the
    jump it replays frames it played before, so what it played first is enough to compare with."""
    before, after = open(log).read().split("locate ")
    lines = [line.split() for line in before.splitlines()]
    stopped = [(int(f), float(b), bytes.fromhex(m)) for _, f, b, m in (l for l in lines if l[0] == "stopped")]
    played = [(int(f), float(b), bytes.fromhex(m)) for f, b, m in (l for l in lines if l[0] != "stopped")]
    first_after = next(i for i, (f, _, _) in enumerate(played) if f >= int(after.split()[0]))
    check_takes("jalv LV2", plugin_state(state), played, [0, first_after], stopped=stopped)

def ardour_plan(scripts, name):
    """The note generator (an Ardour Lua DSP script) and the plan ardour_takes.lua follows."""
    song = SONGS[name]
    rows = ", ".join("{ %d, { 0x%02x, %d, %d } }" % (s, m[0], m[1], m[2]) for s, _, m in song.events())
    open(os.path.join(scripts, "sondrel_test_notes.lua"), "w").write(GENERATOR.replace("@EVENTS@", rows))
    plan = "return { beats_per_bar = %d, tempos = { %s }, length = %d, locate = %s, loop = %s, speed = %r }\n" % (
        song.beats_per_bar, ", ".join("{ %r, %r }" % t for t in song.tempos), round(song.sample(song.beats)),
        "nil" if song.locate is None else round(song.sample(song.locate)), str(bool(song.loop)).lower(), "10x Speed")
    open(os.path.join(scripts, "sondrel_plan.lua"), "w").write(plan.replace("'", '"'))

COMMANDS = {"ardour-plan": ardour_plan, "prepare": prepare, "ardour-check": ardour_check, "old-session": old_session,
            "qtractor-session": qtractor_session, "qtractor-check": qtractor_check, "jalv-state": jalv_state,
            "jalv-check": jalv_check}

if __name__ == "__main__":
    try:
        COMMANDS[sys.argv[1]](*sys.argv[2:])
    except AssertionError as e:
        sys.exit("FAIL: %s" % e)
