// The built LV2 binary run as an LV2 host runs it: MIDI and position objects in the patterns of
// Ardour, jalv, Qtractor and JUCE's hosting; what comes out, the beats recorded, state and page.

#include "MidiSondrelAudioUnit.h"
#include "RealTimeCounters.h"
#include "TakesState.h"

#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <map>
#include <ranges>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace {

const char* binaryPath = nullptr;
constexpr double rate = 48000.0;
constexpr std::uint32_t block = 256;
const std::vector<std::uint8_t> sysEx = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

using Value = std::variant<std::int32_t, std::int64_t, float, double>;
using Keys = std::vector<std::pair<const char*, Value>>;

struct Midi {
    std::int64_t frame;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const Midi&, const Midi&) = default;
};
struct Position {
    std::int64_t frame;
    Keys keys;
};
using Item = std::variant<Midi, Position>;

/// The plug-in in a host of our own: a URID map, the three ports, state kept as the string stored.
class Host {
public:
    Host()
    {
        library = dlopen(binaryPath, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(library, nullptr) << dlerror();
        const auto entry = reinterpret_cast<const LV2_Descriptor* (*)(std::uint32_t)>(dlsym(library, "lv2_descriptor"));
        descriptor = entry(0);
        const LV2_Feature mapFeature{LV2_URID__map, &map};
        const LV2_Feature* features[] = {&mapFeature, nullptr};
        handle = descriptor->instantiate(descriptor, rate, "", features);
        lv2_atom_forge_init(&forge, &map);
        descriptor->connect_port(handle, 0, input.data());
        descriptor->connect_port(handle, 1, output.data());
        descriptor->connect_port(handle, 2, &page);
        descriptor->activate(handle);
    }
    ~Host()
    {
        descriptor->cleanup(handle);
        dlclose(library);
    }

    /// One cycle; what came out.
    std::vector<Midi> run(const std::vector<Item>& items, long* realTimeCost = nullptr)
    {
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(input.data()), sizeof input);
        LV2_Atom_Forge_Frame sequence;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        for (const Item& item : items) {
            if (const auto* m = std::get_if<Midi>(&item)) {
                lv2_atom_forge_frame_time(&forge, m->frame);
                lv2_atom_forge_atom(&forge, std::uint32_t(m->bytes.size()), urid(LV2_MIDI__MidiEvent));
                lv2_atom_forge_write(&forge, m->bytes.data(), std::uint32_t(m->bytes.size()));
            } else {
                const auto& p = std::get<Position>(item);
                lv2_atom_forge_frame_time(&forge, p.frame);
                LV2_Atom_Forge_Frame object;
                lv2_atom_forge_object(&forge, &object, 0, urid(LV2_TIME__Position));
                for (const auto& [key, value] : p.keys) {
                    lv2_atom_forge_key(&forge, urid(key));
                    std::visit([&](auto v) { forgeNumber(v); }, value);
                }
                lv2_atom_forge_pop(&forge, &object);
            }
        }
        lv2_atom_forge_pop(&forge, &sequence);
        auto* out = reinterpret_cast<LV2_Atom_Sequence*>(output.data());
        out->atom.size = sizeof output - sizeof(LV2_Atom);
        {
            SondrelTest::RealTimeScope scope;
            descriptor->run(handle, block);
            if (realTimeCost != nullptr)
                *realTimeCost += scope.allocations() + scope.locks();
        }
        std::vector<Midi> result;
        LV2_ATOM_SEQUENCE_FOREACH(out, ev)
        {
            EXPECT_EQ(ev->body.type, urid(LV2_MIDI__MidiEvent));
            const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body));
            result.push_back({ev->time.frames, {bytes, bytes + ev->body.size}});
        }
        return result;
    }

    std::string save()
    {
        saved.clear();
        const auto store = [](LV2_State_Handle h, std::uint32_t key, const void* value, std::size_t size,
                              std::uint32_t type, std::uint32_t) {
            auto& self = *static_cast<Host*>(h);
            EXPECT_EQ(key, self.urid("urn:corvel:midi-sondrel:StateString"));
            EXPECT_EQ(type, self.urid(LV2_ATOM__String));
            self.saved.assign(static_cast<const char*>(value), size - 1);
            return LV2_STATE_SUCCESS;
        };
        EXPECT_EQ(stateInterface()->save(handle, store, this, LV2_STATE_IS_POD, nullptr), LV2_STATE_SUCCESS);
        return saved;
    }
    void restore(const std::string& text)
    {
        saved = text;
        const auto retrieve = [](LV2_State_Handle h, std::uint32_t key, std::size_t* size, std::uint32_t* type,
                                 std::uint32_t* flags) -> const void* {
            auto& self = *static_cast<Host*>(h);
            if (key != self.urid("urn:corvel:midi-sondrel:StateString"))
                return nullptr;
            *size = self.saved.size() + 1;
            *type = self.urid(LV2_ATOM__String);
            *flags = LV2_STATE_IS_POD;
            return self.saved.c_str();
        };
        EXPECT_EQ(stateInterface()->restore(handle, retrieve, this, 0, nullptr), LV2_STATE_SUCCESS);
    }

    float page = 0.0f;

private:
    const LV2_State_Interface* stateInterface() const
    {
        return static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
    }
    void forgeNumber(std::int32_t v) { lv2_atom_forge_int(&forge, v); }
    void forgeNumber(std::int64_t v) { lv2_atom_forge_long(&forge, v); }
    void forgeNumber(float v) { lv2_atom_forge_float(&forge, v); }
    void forgeNumber(double v) { lv2_atom_forge_double(&forge, v); }

    LV2_URID urid(const std::string& uri)
    {
        return uris.try_emplace(uri, static_cast<LV2_URID>(uris.size() + 1)).first->second;
    }
    static LV2_URID mapUri(LV2_URID_Map_Handle h, const char* uri) { return static_cast<Host*>(h)->urid(uri); }

    void* library = nullptr;
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
    std::map<std::string, LV2_URID> uris;
    LV2_URID_Map map{this, mapUri};
    LV2_Atom_Forge forge;
    std::array<std::uint64_t, 8192> input{};
    std::array<std::uint64_t, 8192> output{};
    std::string saved;
};

/// The state as the plug-in (and the build before our own entry point) keeps it: its XML in JUCE's
/// binary form, in JUCE's base64.
std::unique_ptr<juce::XmlElement> stateXml(const std::string& text)
{
    juce::MemoryBlock blob;
    EXPECT_TRUE(blob.fromBase64Encoding(text));
    return juce::AudioProcessor::getXmlFromBinary(blob.getData(), static_cast<int>(blob.getSize()));
}

/// A song at 120 BPM in 4/4 that changes to 90 BPM on beat 9 (or never).
struct Song {
    double changeBeat;
    std::int64_t frameOf(double beat) const
    {
        const double before = std::min(beat, changeBeat);
        return std::llround(before * 24000.0 + std::max(0.0, beat - changeBeat) * 32000.0);
    }
    double beatOf(std::int64_t frame) const
    {
        const double change = changeBeat * 24000.0;
        return frame <= change ? frame / 24000.0 : changeBeat + (double(frame) - change) / 32000.0;
    }
    float bpmAt(std::int64_t frame) const { return beatOf(frame) < changeBeat ? 120.0f : 90.0f; }
};

/// What each host sends in the cycle from `frame` (after `previous`, or a jump): where, which keys
/// and in which atom types.
enum class Pattern { ardour, jalv, qtractor, juceHosting };

std::vector<Position> positionsFor(Pattern host, const Song& song, std::int64_t frame, std::int64_t previous,
                                   bool jumped)
{
    const auto barKeys = [&](std::int64_t at) {
        const double beat = song.beatOf(at);
        const auto bar = static_cast<std::int64_t>(std::floor(beat / 4));
        return Keys{{LV2_TIME__frame, at},
                    {LV2_TIME__speed, 1.0f},
                    {LV2_TIME__bar, bar},
                    {LV2_TIME__barBeat, float(beat - double(bar) * 4)},
                    {LV2_TIME__beatUnit, std::int32_t{4}},
                    {LV2_TIME__beatsPerBar, 4.0f},
                    {LV2_TIME__beatsPerMinute, song.bpmAt(at)}};
    };
    const auto change = song.frameOf(song.changeBeat);
    switch (host) {
    case Pattern::ardour: {  // every cycle, and where the tempo changes inside one
        std::vector<Position> p{{0, barKeys(frame)}};
        if (change > frame && change < frame + block)
            p.push_back({change - frame, barKeys(change)});
        return p;
    }
    case Pattern::jalv:  // when the transport moved otherwise than by the cycle, or the tempo changed
        if (jumped || song.bpmAt(frame) != song.bpmAt(previous))
            return {{0, barKeys(frame)}};
        return {};
    case Pattern::qtractor: {  // on the first cycle of every beat: the beat of the bar, the beats before the bar
        const auto beat = static_cast<std::int64_t>(std::floor(song.beatOf(frame)));
        if (!jumped && beat == static_cast<std::int64_t>(std::floor(song.beatOf(previous))))
            return {};
        return {{0,
                 Keys{{LV2_TIME__frame, std::int64_t(float(frame))},
                      {LV2_TIME__speed, 1.0f},
                      {LV2_TIME__bar, beat / 4},
                      {LV2_TIME__beat, double(beat % 4 + 1)},
                      {LV2_TIME__barBeat, float(beat / 4 * 4)},
                      {LV2_TIME__beatUnit, std::int32_t{4}},
                      {LV2_TIME__beatsPerBar, 4.0f},
                      {LV2_TIME__beatsPerMinute, song.bpmAt(frame)}}}};
    }
    case Pattern::juceHosting:  // every cycle, the song position as time:beat
        return {{0,
                 Keys{{LV2_TIME__speed, 1.0f},
                      {LV2_TIME__frame, frame},
                      {LV2_TIME__beat, song.beatOf(frame)},
                      {LV2_TIME__beatsPerMinute, song.bpmAt(frame)}}}};
    }
    return {};
}

/// Plays beats [from, to) of the song: a note on every beat, now and then a controller and a
/// system-exclusive message; everything must come out as it went in.
void play(Host& host, Pattern pattern, const Song& song, int from, int to, long& realTimeCost)
{
    std::int64_t previous = -1;
    for (std::int64_t frame = song.frameOf(from) / block * block; frame < song.frameOf(to); frame += block) {
        std::vector<Item> items;
        std::vector<Midi> sent;
        for (auto& p : positionsFor(pattern, song, frame, previous, previous < 0))
            items.emplace_back(std::move(p));
        for (int beat = from; beat < to; ++beat)
            if (const auto at = song.frameOf(beat); at >= frame && at < frame + block)
                sent.push_back({at - frame, {0x90, std::uint8_t(60 + beat % 12), 100}});
        if (frame / block % 7 == 3)
            sent.insert(sent.begin(), {Midi{0, {0xB1, 7, 99}}, Midi{0, sysEx}});
        // A position object inside the cycle goes between the events before it and those after;
        // Qtractor puts it after the events of its own frame.
        std::vector<Item> all;
        std::size_t p = 0;
        for (const auto& m : sent) {
            for (; p < items.size() && std::get<Position>(items[p]).frame + (pattern == Pattern::qtractor) <= m.frame;
                 ++p)
                all.push_back(items[p]);
            all.emplace_back(m);
        }
        all.insert(all.end(), items.begin() + std::ptrdiff_t(p), items.end());
        EXPECT_EQ(host.run(all, previous < 0 ? nullptr : &realTimeCost), sent) << "cycle at " << frame;
        previous = frame;
    }
}

std::string keepingTakes(float page)
{
    juce::XmlElement xml("MidiSondrelState");
    xml.setAttribute("mainMode", page);
    xml.setAttribute("keepTakes", 1);
    juce::MemoryBlock blob;
    return juce::AudioProcessor::copyXmlToBinary(xml, blob), blob.toBase64Encoding().toStdString();
}

}  // namespace

// Each host's way of telling its position, through a tempo change inside a cycle (Qtractor: at
// one tempo) and a locate back into the later tempo: MIDI comes out as it went in, every note is
// recorded on its beat, one take per pass; after the first cycle nothing allocates or locks.
TEST(Lv2Entry, EveryHostsPositionRecordsNotesOnTheirBeats)
{
    const std::pair<Pattern, Song> hosts[] = {
        {Pattern::ardour, {9.0}}, {Pattern::jalv, {9.0}}, {Pattern::qtractor, {1e9}}, {Pattern::juceHosting, {1e9}}};
    for (const auto& [pattern, song] : hosts) {
        SCOPED_TRACE(static_cast<int>(pattern));
        Host host;
        host.restore(keepingTakes(0.0f));
        long realTimeCost = 0;
        play(host, pattern, song, 0, 16, realTimeCost);
        play(host, pattern, song, 12, 20, realTimeCost);
        EXPECT_EQ(realTimeCost, 0);
        const auto takes = TakesState::read(*stateXml(host.save()), 5);  // newest first
        ASSERT_TRUE(takes && takes->size() == 2u);
        for (const auto& [take, first, count] : {std::tuple((*takes)[1], 0, 16), std::tuple((*takes)[0], 12, 8)}) {
            int i = 0;
            const auto noteOn = [](const Corvel::RecordedMIDIEvent& e) {
                return e.data.size() == 3 && e.data[0] == 0x90;
            };
            for (const auto& e : take.events | std::views::filter(noteOn))
                EXPECT_NEAR(e.beatPosition, first + i++, 1e-6) << "note " << i << " of the take from beat " << first;
            EXPECT_EQ(i, count) << "the take from beat " << first;
        }
    }
}

// The page follows the host's control port; after restoring a state of the previous build's form
// (page 1 and takes) the page stays until the port moves, and the takes come back.
TEST(Lv2Entry, PageFollowsThePortButNotAPortThatNeverKnewIt)
{
    const auto pageIn = [](Host& host) {  // the page is applied on the plug-in's message thread
        double page = -1;
        for (int i = 0; i < 100 && page != host.page; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(i == 0 ? 0 : 10));
            host.run({});
            page = stateXml(host.save())->getDoubleAttribute("mainMode", -1);
        }
        return page;
    };
    Host fresh;
    fresh.page = 1.0f;
    EXPECT_EQ(pageIn(fresh), 1.0f);

    Host recorder;
    recorder.restore(keepingTakes(1.0f));
    long unused = 0;
    play(recorder, Pattern::ardour, {9.0}, 0, 4, unused);
    const std::string earlier = recorder.save();

    Host reopened;
    reopened.restore(earlier);
    reopened.run({});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto xml = stateXml(reopened.save());
    EXPECT_EQ(xml->getDoubleAttribute("mainMode"), 1.0);
    EXPECT_EQ(TakesState::read(*xml, 5), TakesState::read(*stateXml(earlier), 5));
    reopened.page = 1.0f;
    EXPECT_EQ(pageIn(reopened), 1.0f);
    reopened.page = 0.0f;
    EXPECT_EQ(pageIn(reopened), 0.0f);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: lv2_entry_tests PATH_TO_THE_LV2_BINARY\n");
        return 2;
    }
    binaryPath = argv[1];
    return RUN_ALL_TESTS();
}
