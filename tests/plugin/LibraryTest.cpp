// The Wickerlamp library: observable values, parameters between controls and the host, the
// value label, mode buttons, the plug-in header, and the update feed's reader.

#include "CorvelLinks.h"
#include "DialLabel.h"
#include "ModeToggleButton.h"
#include "Observable.h"
#include "ParameterSettings.h"
#include "PluginHeaderView.h"
#include "PluginTestSupport.h"
#include "SimpleSparklerChecker.h"
#include "UpdateFeedFetcher.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <thread>
#include <vector>

using namespace SondrelTest;
using namespace Wickerlamp;

namespace {

/// Reads `a` always and `b` only while `readB` is set; paints from `c`.
struct Reader final : ObservingComponent {
    Observable<int>&a, &b, &c;
    bool readB = true;
    int seen = 0;

    Reader(Observable<int>& x, Observable<int>& y, Observable<int>& z) : a(x), b(y), c(z) { rebuild(); }
    void build() override { seen = a.get() + (readB ? b.get() : 0); }
    void draw(juce::Graphics&) override { (void)c.get(); }
};

}  // namespace

TEST(Observation, ADifferentValueRebuildsItsReadersOncePerTurn)
{
    Observable<int> a{1}, b{2}, c{3};
    Reader readsBoth(a, b, c), readsA(a, b, c);
    readsA.readB = false;
    readsA.rebuild();  // this build no longer reads b
    const auto builds = [&, both = readsBoth.buildCount(), onlyA = readsA.buildCount()] {
        return std::pair(readsBoth.buildCount() - both, readsA.buildCount() - onlyA);
    };
    EXPECT_EQ(std::pair(a.readerCount(), b.readerCount()), std::pair(std::size_t{2}, std::size_t{1}));
    // b is read by one of them only: the one that stopped reading it is left alone.
    b.set(21);
    pumpMessages();
    EXPECT_EQ(builds(), std::pair(1, 0));
    // Several changes in one turn: one rebuild each, after the turn.
    a.set(10);
    b.set(20);
    a.set(11);
    EXPECT_EQ(builds(), std::pair(1, 0));
    pumpMessages();
    EXPECT_EQ(builds(), std::pair(2, 1));
    EXPECT_EQ(readsBoth.seen, 31);
    // An equal value notifies nobody, readers and callbacks alike.
    int callbacks = 0;
    a.addObserver([&](const int&) { ++callbacks; });
    EXPECT_FALSE(a.set(11));
    pumpMessages();
    EXPECT_EQ(callbacks, 0);
    EXPECT_EQ(builds(), std::pair(2, 1));
    EXPECT_TRUE(a.set(12));
    EXPECT_EQ(callbacks, 1);
}

namespace {

/// An audio unit whose parameter hook only remembers what it received.
struct HookUnit final : MidiSondrelAudioUnit {
    std::vector<std::pair<std::uint64_t, float>> received;
    using MidiSondrelAudioUnit::setParameter;
    void setParameter(std::uint64_t address, float value) override { received.emplace_back(address, value); }
};

/// One parameter in cents, as a plug-in would declare it, installed on a hook unit.
struct Installed : ParameterSettings {
    HookUnit unit;
    std::shared_ptr<AudioParameter> tune = std::make_shared<AudioParameter>(
        8, "tune", "Tune", ParameterUnit::absoluteCents, -1200.0f, 1200.0f, 0.0f);
    Installed()
    {
        setupParameters({tune});
        configureAudioUnit(unit);
        setupParameterTreeListeners();
    }
    void set(float value)
    {
        tune->setValue(value, ParameterEditor::ui, ParameterEditorState::change);
        pumpMessages();
    }
};

}  // namespace

// A control's change reaches the host at once and the value one turn later, clamped; the host's
// changes do not echo back and yield to an interactive edit.
TEST(ParameterLibrary, ControlAndHostChanges)
{
    Installed p;
    SentToHost ear(*p.tune);
    auto& node = p.tune->auParameter();
    p.tune->setValue(600.0f, ParameterEditor::ui, ParameterEditorState::change);
    EXPECT_EQ(p.tune->value.get(), 0.0f);  // not yet: assigned on the next turn
    ASSERT_EQ(ear.values.size(), 1u);
    EXPECT_FLOAT_EQ(node.value(), 600.0f);
    pumpMessages();
    EXPECT_EQ(p.tune->value.get(), 600.0f);
    // The host's observer passed the value on to the audio unit as well.
    ASSERT_FALSE(p.unit.received.empty());
    EXPECT_EQ(p.unit.received.back(), (std::pair<std::uint64_t, float>{8, 600.0f}));
    for (const auto& [typed, kept] : {std::pair(5000.0f, 1200.0f), {NAN, -1200.0f}}) {
        p.set(typed);
        EXPECT_EQ(p.tune->value.get(), kept);
    }
    // Two changes within one turn, back to where it was: the second is not taken for a repeat.
    p.tune->setValue(300.0f, ParameterEditor::ui, ParameterEditorState::change);
    p.set(-1200.0f);
    EXPECT_EQ(p.tune->value.get(), -1200.0f);
    EXPECT_FLOAT_EQ(node.value(), -1200.0f);
    // The host sets the value (automation): the window follows, nothing goes back to the host.
    ear.values.clear();
    node.setValue(node.normalise(300.0f));
    pumpMessages();
    EXPECT_FLOAT_EQ(p.tune->value.get(), 300.0f);
    EXPECT_TRUE(ear.values.empty());
    // While the user drags, automation does not move the control; the user's values do.
    p.tune->isBeingInteractivelyEdited.set(true);
    node.setValue(node.normalise(-300.0f));
    pumpMessages();
    EXPECT_FLOAT_EQ(p.tune->value.get(), 300.0f);
    p.set(450.0f);
    EXPECT_FLOAT_EQ(p.tune->value.get(), 450.0f);
    p.tune->isBeingInteractivelyEdited.set(false);
    // Automation from another thread (the audio thread, say) arrives at the next poll.
    std::thread([&] { node.setValue(node.normalise(-900.0f)); }).join();
    for (int waited = 0; p.tune->value.get() != -900.0f && waited < 2000; waited += 10)
        pumpMessages(10);  // the poll runs 60 times a second; allow a slow machine
    EXPECT_FLOAT_EQ(p.tune->value.get(), -900.0f);
    p.set(100.0f);
    pumpMessages(100);  // several polls: the host's value is taken once
    EXPECT_FLOAT_EQ(p.tune->value.get(), 100.0f);
}

namespace {

/// A value label over a parameter, counting its onEditingEnded calls.
struct Dial {
    std::shared_ptr<AudioParameter> param;
    int ended = 0;
    DialLabel label;

    Dial(std::shared_ptr<AudioParameter> p, int decimalPlaces)
        : param(std::move(p)), label(param, DialLabel::Look{.decimalPlaces = decimalPlaces}, [this] { ++ended; })
    {}
    /// Opens the field, types `text` over what it holds and presses Return.
    void enter(const juce::String& text)
    {
        label.beginEditing();
        label.editor().setText(text, juce::sendNotification);
        label.editor().keyPressed(juce::KeyPress(juce::KeyPress::returnKey));
        pumpMessages();
    }
};

}  // namespace

// In cents the label shows hundredths and scales typed numbers back, clamped to the range; text
// that is not wholly a number is refused and the current value shown again.
TEST(Controls, DialLabelScalesTypedNumbersAndRejectsOtherText)
{
    Dial cents(makeParameter(ParameterUnit::absoluteCents, -2400.0f, 2400.0f, 1200.0f), 2);
    SentToHost sent(*cents.param);
    EXPECT_EQ(cents.label.valueText(), "12.00");
    cents.label.beginEditing();
    EXPECT_EQ(cents.label.editor().getText(), "12.00");
    cents.enter("7");
    EXPECT_EQ(std::tuple(cents.param->value.peek(), cents.label.valueText(), cents.label.editor().getText()),
              std::tuple(700.0f, juce::String("7.00"), juce::String("7.00")));
    EXPECT_FALSE(cents.label.isEditing());
    for (const char* text : {"99", "-1e30", "+3.5"})
        cents.enter(text);
    EXPECT_EQ(sent.values, (std::vector<float>{700.0f, 2400.0f, -2400.0f, 350.0f}));
    EXPECT_EQ(cents.ended, 4);

    Dial dial(makeParameter(ParameterUnit::generic, 0.0f, 100.0f, 40.0f), 0);
    SentToHost refused(*dial.param);
    int expectedEnds = 0;
    for (const char* text : {" 5", "5a", "", "5 ", "7,5", "nan", "0x10", "+", "five"}) {
        dial.enter(text);
        EXPECT_EQ(std::tuple(dial.ended, dial.label.isEditing(), dial.label.editor().getText()),
                  std::tuple(++expectedEnds, false, juce::String("40")))
            << text;
    }
    EXPECT_TRUE(refused.values.empty());
    EXPECT_EQ(dial.param->value.peek(), 40.0f);
}

TEST(Controls, ModeToggleButtonFollowsTheTruncatedValue)
{
    auto param = makeParameter(ParameterUnit::indexed, -1.0f, 3.0f, 1.9f, juce::StringArray{"Off", "Slow", "Fast"});
    ModeToggleButton off(param, 0, juce::Colours::orange), slow(param, 1, juce::Colours::orange),
        fast(param, 2, juce::Colours::orange);
    EXPECT_EQ(slow.button().getButtonText(), "SLOW");
    EXPECT_EQ(std::tuple(off.isOn(), slow.isOn(), fast.isOn()), std::tuple(false, true, false));
    fast.button().triggerClick();
    pumpMessages();
    EXPECT_EQ(param->value.peek(), 2.0f);
    EXPECT_EQ(std::tuple(off.isOn(), slow.isOn(), fast.isOn()), std::tuple(false, false, true));
    param->setValue(-0.5f, ParameterEditor::parameterObserver, ParameterEditorState::change);  // from the host
    pumpMessages();  // truncated toward zero: index 0
    EXPECT_TRUE(off.isOn());
}

// The header's tabs name the page parameter's values and select it; an update notice replaces
// the version, and its button and the logo open their addresses.
TEST(Header, TabsSelectThePageAndTheUpdateNoticeOpensItsAddress)
{
    auto tabs = makeParameter(ParameterUnit::indexed, 0.0f, 1.0f, 0.0f, juce::StringArray{"Events", "Chord And Scale"},
                              "Main Tab");
    Observable<std::optional<UpdateAvailableDetails>> details;
    std::vector<juce::String> opened;
    PluginHeaderView view(juce::URL("midisondrel://openAndUpdate"), "1.0.0", tabs, details, nullptr,
                          [&](const juce::URL& url) { opened.push_back(url.toString(true)); });
    view.setSize(640, PluginHeaderView::height);
    SentToHost sent(*tabs);
    ASSERT_EQ(view.tabCount(), 2);
    EXPECT_EQ(std::pair(view.tab(0).getButtonText(), view.tab(1).getButtonText()),
              std::pair(juce::String("EVENTS"), juce::String("CHORD AND SCALE")));
    const auto selected = [&view] {
        const auto& assets = AssetCatalogue::library();
        const auto is = [&](juce::Colour c) {
            return c == assets.colour("tabSelected") ? 1 : c == assets.colour("tabUnselected") ? 0 : -1;
        };
        return std::pair(is(view.tab(0).textColour()), is(view.tab(1).textColour()));
    };
    EXPECT_EQ(selected(), std::pair(1, 0));
    view.tab(1).triggerClick();
    pumpMessages();
    EXPECT_EQ(tabs->value.peek(), 1.0f);
    EXPECT_EQ(sent.values, std::vector<float>{1.0f});
    EXPECT_EQ(selected(), std::pair(0, 1));
    // The host changes the page: the tabs follow. A value between indices selects none.
    tabs->setValue(0.5f, ParameterEditor::parameterObserver, ParameterEditorState::change);
    pumpMessages();
    EXPECT_EQ(selected(), std::pair(0, 0));
    EXPECT_TRUE(opened.empty());
    details.set(UpdateAvailableDetails{"2.0b1"});
    EXPECT_EQ(view.trailingText(), "1.0.0");  // until the next turn
    pumpMessages();
    ASSERT_TRUE(view.showsUpdateButton());
    EXPECT_EQ(view.trailingText(), "2.0B1 AVAILABLE");
    EXPECT_FALSE(view.findChildWithID("version")->isVisible());
    view.updateButton().triggerClick();
    view.logoButton().triggerClick();
    pumpMessages();
    EXPECT_EQ(opened, (std::vector<juce::String>{"midisondrel://openAndUpdate", corvelSite().toString(true)}));
}

TEST(UpdateFeed, WhateverTheFeedsShapeTheReaderHoldsASmallMultipleOfItsSize)
{
    // Each version element read again at many closing tags: alone, with text growing between
    // them, and with a version made long by an entity that expands it.
    const auto repeat = [](const std::string& s, int n) { return juce::String::repeatedString(s, n).toStdString(); };
    const auto nested = [&](int depth, const std::string& version, const std::string& between) {
        return "<rss>" + repeat("<a>", depth) + "<sparkle:shortVersionString>" + version
            + "</sparkle:shortVersionString>" + repeat(between + "</a>", depth) + "</rss>";
    };
    const std::string expanded = "<!DOCTYPE rss [<!ENTITY v '" + std::string(1000, '9') + "'>]>"
        + "<rss><sparkle:shortVersionString>1." + repeat("&v;", 10'000) + "</sparkle:shortVersionString></rss>";
    const std::string longVersion = "2." + std::string(20'000, '0');
    const struct {
        std::string feed;
        std::size_t readings;  // the version's closing tag, then each closing tag after it
        std::string latest;
    } cases[] = {
        {nested(10'000, longVersion, ""), 10'002, longVersion},
        {nested(20'000, "2.0", "0"), 20'002, "2.0"},                      // 2.00…0 weighs the same: the first
        {nested(20'000, "1.", "5"), 20'002, "1." + std::string(9, '5')},  // ten fives are no number
        {expanded, 0, ""},                                                // stopped inside the version
    };
    for (const auto& c : cases) {
        const auto heldBytes = [] {
            const struct mallinfo2 m = mallinfo2();
            return m.uordblks + m.hblkhd;
        };
        const std::size_t before = heldBytes();
        SimpleSparklerChecker checker;
        checker.parse(c.feed);
        EXPECT_LE(heldBytes() - before, 8 * c.feed.size() + 65536) << c.feed.size() << "-byte feed";
        EXPECT_EQ(checker.versions.size(), c.readings);
        EXPECT_EQ(checker.latestVersion().value_or(""), c.latest);
    }
}

// Version weights and the latest of a feed's versions; only https is fetched, except from this
// machine.
TEST(UpdateFeed, WeightsTheLatestVersionAndWhatIsFetched)
{
    const std::pair<const char*, std::int64_t> weights[] = {
        {"1.2.3", 10203},           {"2", 20000},   {"1.10", 11000}, {"1.9", 10900},   {"3b1", 0},     {"1..2", 10200},
        {"1.2.3.4", 10207},         {"Unknown", 0}, {"", 0},         {"1.2.0", 10200}, {"1.2", 10200}, {"2.0b1", 20000},
        {"99999999999999999999", 0}};
    for (const auto& [version, weight] : weights)
        EXPECT_EQ(SimpleSparklerChecker::convertVersionToWeight(version), weight) << version;
    SimpleSparklerChecker checker;
    EXPECT_EQ(checker.latestVersion(), std::nullopt);
    for (const char* version : {"1.0.0", "1.2.0", "1.1.0", "1.2"})
        checker.versions.add(version);
    EXPECT_EQ(checker.latestVersion(), "1.2.0");  // the first of equal weights

    Settings settings;
    const auto feed = settings.updates.updateFeedAddress().toString(false);
    EXPECT_EQ(feed, "https://updates.corvel.invalid/midi_sondrel/midisondrel.xml");
    for (const auto& [address, allowed] : {std::pair{feed, true},
                                           {"http://127.0.0.1:8080/x.xml", true},
                                           {"http://localhost/x.xml", true},
                                           {"http://updates.corvel.invalid/x", false},
                                           {"http://127.0.0.1.evil.invalid/x", false},
                                           {"ftp://127.0.0.1/x", false},
                                           {"file:///etc/passwd", false}})
        EXPECT_EQ(UpdateFeedFetcher::isAllowedAddress(juce::URL(address)), allowed) << address;
    settings.updates.setUpdateServer("http://updates.corvel.invalid");
    settings.checkForUpdate();  // refused before anything is fetched
    EXPECT_TRUE(settings.updates.finished());
    EXPECT_EQ(settings.updates.updateDetails.peek(), std::nullopt);
}

// A feed larger than 1 MiB from a server on this machine: exactly 1 MiB of it is read, and the
// whole check (download on its own thread, result applied on the message thread) finds a version
// within that much.
TEST(UpdateFeed, AtMostOneMebibyteIsReadFromTheServer)
{
    juce::StreamingSocket listener;
    ASSERT_TRUE(listener.createListener(0, "127.0.0.1"));
    const std::string body = "<rss><sparkle:shortVersionString>3.0</sparkle:shortVersionString>"
        + std::string(1 << 20, ' ') + "</rss>";
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
    std::thread server([&] {
        for (int served = 0; served < 2; ++served) {
            const std::unique_ptr<juce::StreamingSocket> client(listener.waitForNextConnection());
            if (client == nullptr)
                return;
            char request[4096];
            (void)client->read(request, sizeof(request), false);
            // The client stops reading at its cap: a refused write just ends this connection.
            for (std::size_t sent = 0; sent < reply.size() && client->waitUntilReady(false, 2000) == 1;) {
                const int n = client->write(reply.data() + sent,
                                            int(std::min<std::size_t>(65536, reply.size() - sent)));
                sent = n > 0 ? sent + std::size_t(n) : reply.size();
            }
            while (client->waitUntilReady(true, 500) == 1 && client->read(request, sizeof(request), false) > 0) {
            }
        }
    });
    const juce::String base = "http://127.0.0.1:" + juce::String(listener.getBoundPort());

    const auto read = UpdateFeedFetcher::download(juce::URL(base + "/midi_sondrel/midisondrel.xml"),
                                                  [] { return true; });
    EXPECT_EQ(read ? read->getSize() : 0, std::size_t{1} << 20);

    Settings settings;
    settings.updates.setUpdateServer(base);
    settings.checkForUpdate();
    for (int waited = 0; !settings.updates.finished() && waited < 20000; waited += 5)
        pumpMessages(5);
    pumpMessages(20);  // the result is applied on a later turn
    EXPECT_EQ(settings.updates.updateDetails.peek(), UpdateAvailableDetails{"3.0"});
    listener.close();
    server.join();
}
