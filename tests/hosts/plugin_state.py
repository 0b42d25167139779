"""The plug-in's saved state as hosts store it, for the host tests: JUCE's state blob (an XML
document behind an 8-byte header, in LV2 as JUCE's own base64 text, in VST3 as the component
chunk with JUCE's private data after it), the takes kept in it, and the notes to play."""
import base64
import zlib
import re
import struct
import xml.etree.ElementTree as ET

JUCE_B64 = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"
XML_MAGIC = b"VC2!"
STATE_STRING = re.compile(r'(StateString>\s*")(\d+\.[.A-Za-z0-9+]*)(")')


def juce_b64_decode(text):
    size, data = text.split(".", 1)
    out = bytearray(int(size))
    for i, ch in enumerate(data):
        value = JUCE_B64.index(ch)
        for b in range(6):
            bit = i * 6 + b
            if bit // 8 < len(out) and value >> b & 1:
                out[bit // 8] |= 1 << bit % 8
    return bytes(out)


def juce_b64_encode(raw):
    chars = []
    for i in range((len(raw) * 8 + 5) // 6):
        value = 0
        for b in range(6):
            bit = i * 6 + b
            if bit // 8 < len(raw) and raw[bit // 8] >> bit % 8 & 1:
                value |= 1 << b
        chars.append(JUCE_B64[value])
    return "%d.%s" % (len(raw), "".join(chars))


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
    assert version == 1
    offset, takes = 12, []
    for _ in range(count):
        start, rate, n = struct.unpack_from("<qfQ", data, offset)
        offset += 20
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
