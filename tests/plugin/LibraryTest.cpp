// The Wickerlamp library: observable values and their readers, parameters and the echo rules
// between controls and the host, the value label, mode buttons, the plug-in header, and the
// update feed's reader (its memory bound, version weights, which addresses are fetched).

#include "PluginTestSupport.h"
#include "AssetCatalogue.h"
#include "AudioParameter.h"
#include "CorvelLinks.h"
#include "DialLabel.h"
#include "ModeToggleButton.h"
#include "Observable.h"
#include "ParameterSettings.h"
#include "PluginHeaderView.h"
#include "SimpleSparklerChecker.h"
#include "UpdateFeedFetcher.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <thread>
#include <vector>

using namespace SondrelTest;
using Wickerlamp::Observable;
using Wickerlamp::AudioParameter;
using Wickerlamp::ParameterEditor;
using Wickerlamp::ParameterEditorState;
namespace ParameterUnit = Wickerlamp::ParameterUnit;
using Wickerlamp::DialLabel;
using Wickerlamp::PluginHeaderView;
using Wickerlamp::SimpleSparklerChecker;
using Wickerlamp::UpdateAvailableDetails;

namespace {

/// Reads `a` always and `b` only while `readB` is set; paints from `c`.
struct Reader final : Wickerlamp::ObservingComponent {
    Observable<int>& a;
    Observable<int>& b;
    Observable<int>& c;
    bool readB = true;
    int seen = 0;

    Reader(Observable<int>& x, Observable<int>& y, Observable<int>& z) : a(x), b(y), c(z) { rebuild(); }

    void build() override { seen = a.get() + (readB ? b.get() : 0); }
    void draw(juce::Graphics&) override { (void) c.get(); }
};

} // namespace

TEST(Observation, ADifferentValueRebuildsItsReadersOncePerTurn)
{
    Observable<int> a{1}, b{2}, c{3};
    Reader readsBoth(a, b, c);
    Reader readsA(a, b, c);
    readsA.readB = false;
    readsA.rebuild();  // this build no longer reads b
    const int both = readsBoth.buildCount();
    const int onlyA = readsA.buildCount();
    EXPECT_EQ(a.readerCount(), 2u);
    EXPECT_EQ(b.readerCount(), 1u);

    // b is read by one of them only: the one that stopped reading it is left alone.
    b.set(21);
    pumpMessages();
    EXPECT_EQ(readsBoth.buildCount(), both + 1);
    EXPECT_EQ(readsA.buildCount(), onlyA);

    // Several changes in one turn: one rebuild each, after the turn.
    a.set(10);
    b.set(20);
    a.set(11);
    EXPECT_EQ(readsBoth.buildCount(), both + 1);
    pumpMessages();
    EXPECT_EQ(readsBoth.buildCount(), both + 2);
    EXPECT_EQ(readsA.buildCount(), onlyA + 1);
    EXPECT_EQ(readsBoth.seen, 31);

    // An equal value notifies nobody, readers and callbacks alike.
    int callbacks = 0;
    a.addObserver([&](const int&) { ++callbacks; });
    EXPECT_FALSE(a.set(11));
    pumpMessages();
    EXPECT_EQ(callbacks, 0);
    EXPECT_EQ(readsBoth.buildCount(), both + 2);
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

/// One parameter in cents, as a plug-in would declare it.
struct OneParameter final : Wickerlamp::ParameterSettings {
    std::shared_ptr<AudioParameter> tune = std::make_shared<AudioParameter>(8, "tune", "Tune", ParameterUnit::absoluteCents,
                                                                            -1200.0f, 1200.0f, 0.0f);
    OneParameter() { setupParameters({tune}); }
};

struct Installed {
    HookUnit unit;
    OneParameter settings;
    Installed()
    {
        settings.configureAudioUnit(unit);
        settings.setupParameterTreeListeners();
    }
};

} // namespace

TEST(ParameterLibrary, ControlChangesReachTheHostAndTheValueOneTurnLater)
{
    Installed p;
    SentToHost ear(*p.settings.tune);

    p.settings.tune->setValue(600.0f, ParameterEditor::ui, ParameterEditorState::change);
    EXPECT_EQ(p.settings.tune->value.get(), 0.0f);  // not yet: assigned on the next turn
    ASSERT_EQ(ear.values.size(), 1u);
    EXPECT_FLOAT_EQ(p.settings.tune->auParameter().value(), 600.0f);
    pumpMessages();
    EXPECT_EQ(p.settings.tune->value.get(), 600.0f);
    // The host's observer passed the value on to the audio unit as well.
    ASSERT_FALSE(p.unit.received.empty());
    EXPECT_EQ(p.unit.received.back(), (std::pair<std::uint64_t, float>{8, 600.0f}));

    // Out of range and NaN are clamped.
    p.settings.tune->setValue(5000.0f, ParameterEditor::ui, ParameterEditorState::change);
    pumpMessages();
    EXPECT_EQ(p.settings.tune->value.get(), 1200.0f);
    p.settings.tune->setValue(NAN, ParameterEditor::ui, ParameterEditorState::change);
    pumpMessages();
    EXPECT_EQ(p.settings.tune->value.get(), -1200.0f);

    // Two changes within one turn, back to where it was: the second is not taken for a repeat.
    p.settings.tune->setValue(300.0f, ParameterEditor::ui, ParameterEditorState::change);
    p.settings.tune->setValue(-1200.0f, ParameterEditor::ui, ParameterEditorState::change);
    pumpMessages();
    EXPECT_EQ(p.settings.tune->value.get(), -1200.0f);
    EXPECT_FLOAT_EQ(p.settings.tune->auParameter().value(), -1200.0f);
}

TEST(ParameterLibrary, HostChangesDoNotEchoBackAndYieldToAnInteractiveEdit)
{
    Installed p;
    SentToHost ear(*p.settings.tune);
    auto& node = p.settings.tune->auParameter();

    // The host sets the value (automation): the window follows, nothing goes back to the host.
    node.setValue(node.normalise(300.0f));
    pumpMessages();
    EXPECT_FLOAT_EQ(p.settings.tune->value.get(), 300.0f);
    EXPECT_TRUE(ear.values.empty());

    // While the user drags, automation does not move the control; the user's values do.
    p.settings.tune->isBeingInteractivelyEdited.set(true);
    node.setValue(node.normalise(-300.0f));
    pumpMessages();
    EXPECT_FLOAT_EQ(p.settings.tune->value.get(), 300.0f);
    p.settings.tune->setValue(450.0f, ParameterEditor::ui, ParameterEditorState::change);
    pumpMessages();
    EXPECT_FLOAT_EQ(p.settings.tune->value.get(), 450.0f);
    p.settings.tune->isBeingInteractivelyEdited.set(false);

    // Automation from another thread (the audio thread, say) arrives at the next poll.
    std::thread host([&] { node.setValue(node.normalise(-900.0f)); });
    host.join();
    for (int waited = 0; p.settings.tune->value.get() != -900.0f && waited < 2000; waited += 10)
        pumpMessages(10);  // the poll runs 60 times a second; allow a slow machine
    EXPECT_FLOAT_EQ(p.settings.tune->value.get(), -900.0f);
}

namespace {

/// A value label over a parameter, counting its onEditingEnded calls.
struct Dial {
    std::shared_ptr<AudioParameter> param;
    int ended = 0;
    DialLabel label;

    Dial(std::shared_ptr<AudioParameter> p, int decimalPlaces)
        : param(std::move(p)), label(param, DialLabel::Look{.decimalPlaces = decimalPlaces}, [this] { ++ended; })
    {
    }

    /// Opens the field, types `text` over what it holds and presses Return.
    void enter(const juce::String& text)
    {
        label.beginEditing();
        label.editor().setText(text, juce::sendNotification);
        label.editor().keyPressed(juce::KeyPress(juce::KeyPress::returnKey));
        pumpMessages();
    }
};

} // namespace

TEST(Controls, DialLabelInCentsShowsHundredthsAndScalesTypedNumbersBack)
{
    Dial cents(makeParameter(ParameterUnit::absoluteCents, -2400.0f, 2400.0f, 1200.0f), 2);
    SentToHost sent(*cents.param);
    EXPECT_EQ(cents.label.valueText(), "12.00");
    cents.label.beginEditing();
    EXPECT_EQ(cents.label.editor().getText(), "12.00");

    cents.enter("7");
    EXPECT_EQ(cents.param->value.peek(), 700.0f);
    EXPECT_EQ(cents.label.valueText(), "7.00");
    EXPECT_EQ(cents.ended, 1);
    EXPECT_FALSE(cents.label.isEditing());
    EXPECT_EQ(cents.label.editor().getText(), "7.00");

    // Above the range: the upper bound, never a refusal. Below it: the lower bound.
    cents.enter("99");
    EXPECT_EQ(cents.param->value.peek(), 2400.0f);
    cents.enter("-1e30");
    EXPECT_EQ(cents.param->value.peek(), -2400.0f);
    cents.enter("+3.5");
    EXPECT_EQ(cents.param->value.peek(), 350.0f);
    EXPECT_EQ(sent.values, (std::vector<float>{700.0f, 2400.0f, -2400.0f, 350.0f}));
    EXPECT_EQ(cents.ended, 4);
}

TEST(Controls, DialLabelRejectsTextThatIsNotWhollyANumber)
{
    Dial dial(makeParameter(ParameterUnit::generic, 0.0f, 100.0f, 40.0f), 0);
    SentToHost sent(*dial.param);
    int expectedEnds = 0;
    for (const char* text : {" 5", "5a", "", "5 ", "7,5", "nan", "0x10", "+", "five"}) {
        SCOPED_TRACE(text);
        dial.enter(text);
        ++expectedEnds;
        EXPECT_EQ(dial.ended, expectedEnds);
        EXPECT_FALSE(dial.label.isEditing());
        EXPECT_EQ(dial.label.editor().getText(), "40");  // the current value again
    }
    EXPECT_TRUE(sent.values.empty());
    EXPECT_EQ(dial.param->value.peek(), 40.0f);
}

TEST(Controls, ModeToggleButtonFollowsTheTruncatedValue)
{
    auto param = makeParameter(ParameterUnit::indexed, -1.0f, 3.0f, 1.9f, juce::StringArray{"Off", "Slow", "Fast"});
    Wickerlamp::ModeToggleButton off(param, 0, juce::Colours::orange);
    Wickerlamp::ModeToggleButton slow(param, 1, juce::Colours::orange);
    Wickerlamp::ModeToggleButton fast(param, 2, juce::Colours::orange);
    EXPECT_EQ(slow.button().getButtonText(), "SLOW");
    EXPECT_TRUE(slow.isOn());
    EXPECT_FALSE(fast.isOn());

    fast.button().triggerClick();
    pumpMessages();
    EXPECT_EQ(param->value.peek(), 2.0f);
    EXPECT_TRUE(fast.isOn());
    EXPECT_FALSE(slow.isOn());

    param->setValue(-0.5f, ParameterEditor::parameterObserver, ParameterEditorState::change);  // from the host
    pumpMessages();  // truncated toward zero: index 0
    EXPECT_TRUE(off.isOn());
}

namespace {

const juce::URL appUpdate("midisondrel://openAndUpdate");

/// A header over a tab parameter whose opener only remembers what it was asked to open.
struct Header {
    std::shared_ptr<Wickerlamp::AudioParameter> tabs;
    Observable<std::optional<UpdateAvailableDetails>> details;
    std::vector<juce::String> opened;
    PluginHeaderView view;

    Header()
        : tabs(makeParameter(ParameterUnit::indexed, 0.0f, 1.0f, 0.0f, juce::StringArray{"Events", "Chord And Scale"}, "Main Tab")),
          view(appUpdate, "1.0.0", tabs, details, nullptr,
               [this](const juce::URL& url) { opened.push_back(url.toString(true)); })
    {
        view.setSize(640, PluginHeaderView::height);
    }
};

} // namespace

TEST(Header, TabsNameTheValueStringsAndAClickSelectsOne)
{
    Header header;
    SentToHost sent(*header.tabs);
    auto& view = header.view;
    ASSERT_EQ(view.tabCount(), 2);
    EXPECT_EQ(view.tab(0).getButtonText(), "EVENTS");
    EXPECT_EQ(view.tab(1).getButtonText(), "CHORD AND SCALE");
    EXPECT_EQ(view.tab(0).textColour(), libraryColour("tabSelected"));
    EXPECT_EQ(view.tab(1).textColour(), libraryColour("tabUnselected"));

    view.tab(1).triggerClick();
    pumpMessages();
    EXPECT_EQ(header.tabs->value.peek(), 1.0f);
    EXPECT_EQ(sent.values, std::vector<float>{1.0f});
    EXPECT_EQ(view.tab(0).textColour(), libraryColour("tabUnselected"));
    EXPECT_EQ(view.tab(1).textColour(), libraryColour("tabSelected"));

    // The host changes the page: the tabs follow. A value between indices selects none.
    header.tabs->setValue(0.5f, Wickerlamp::ParameterEditor::parameterObserver, Wickerlamp::ParameterEditorState::change);
    pumpMessages();
    EXPECT_EQ(view.tab(0).textColour(), libraryColour("tabUnselected"));
    EXPECT_EQ(view.tab(1).textColour(), libraryColour("tabUnselected"));
    EXPECT_TRUE(header.opened.empty());
}

TEST(Header, UpdateNoticeReplacesTheVersionAndOpensTheUpdateAddress)
{
    Header header;
    header.details.set(UpdateAvailableDetails{"2.0b1"});
    EXPECT_EQ(header.view.trailingText(), "1.0.0");  // until the next turn
    pumpMessages();
    ASSERT_TRUE(header.view.showsUpdateButton());
    EXPECT_EQ(header.view.trailingText(), "2.0B1 AVAILABLE");
    EXPECT_FALSE(header.view.findChildWithID("version")->isVisible());
    header.view.updateButton().triggerClick();
    header.view.logoButton().triggerClick();
    pumpMessages();
    EXPECT_EQ(header.opened, (std::vector<juce::String>{"midisondrel://openAndUpdate",
                                                        Wickerlamp::corvelSite().toString(true)}));
}

TEST(UpdateFeed, WhateverTheFeedsShapeTheReaderHoldsASmallMultipleOfItsSize)
{
    // Each version element read again at many closing tags: alone, with text growing between
    // them, and with a version made long by an entity that expands it.
    const auto nested = [](int depth, const std::string& version, const std::string& between) {
        std::string xml = "<rss>";
        for (int i = 0; i < depth; ++i)
            xml += "<a>";
        xml += "<sparkle:shortVersionString>" + version + "</sparkle:shortVersionString>";
        for (int i = 0; i < depth; ++i)
            xml += between + "</a>";
        return xml + "</rss>";
    };
    std::string expanded = "<!DOCTYPE rss [<!ENTITY v '" + std::string(1000, '9') + "'>]>"
        + "<rss><sparkle:shortVersionString>1.";
    for (int i = 0; i < 10'000; ++i)
        expanded += "&v;";
    expanded += "</sparkle:shortVersionString></rss>";
    const std::string longVersion = "2." + std::string(20'000, '0');
    const struct {
        std::string feed;
        std::size_t readings;  // the version's closing tag, then each closing tag after it
        std::string latest;
    } cases[] = {
        {nested(10'000, longVersion, ""), 10'002, longVersion},
        {nested(20'000, "2.0", "0"), 20'002, "2.0"},               // 2.00…0 weighs the same: the first
        {nested(20'000, "1.", "5"), 20'002, "1." + std::string(9, '5')},  // ten fives are no number
        {expanded, 0, ""},                                          // stopped inside the version
    };
    for (const auto& c : cases) {
        const auto heldBytes = [] {
            const struct mallinfo2 m = mallinfo2();
            return m.uordblks + m.hblkhd;
        };
        const std::size_t before = heldBytes();
        SimpleSparklerChecker checker;
        checker.parse(c.feed);
        const std::size_t held = heldBytes() - before;
        EXPECT_LE(held, 8 * c.feed.size() + 65536) << c.feed.size() << "-byte feed";
        EXPECT_EQ(checker.versions.size(), c.readings);
        EXPECT_EQ(checker.latestVersion().value_or(""), c.latest);
    }
}

TEST(UpdateFeed, WeightsAndTheLatestVersion)
{
    const std::pair<const char*, std::int64_t> weights[] = {
        {"1.2.3", 10203}, {"2", 20000}, {"1.10", 11000}, {"1.9", 10900}, {"3b1", 0}, {"1..2", 10200},
        {"1.2.3.4", 10207}, {"Unknown", 0}, {"", 0}, {"1.2.0", 10200}, {"1.2", 10200}, {"2.0b1", 20000},
        {"99999999999999999999", 0},
    };
    for (const auto& [version, weight] : weights)
        EXPECT_EQ(SimpleSparklerChecker::convertVersionToWeight(version), weight) << version;

    SimpleSparklerChecker checker;
    EXPECT_EQ(checker.latestVersion(), std::nullopt);
    for (const char* version : {"1.0.0", "1.2.0", "1.1.0", "1.2"})
        checker.versions.add(version);
    EXPECT_EQ(checker.latestVersion(), "1.2.0");  // the first of equal weights
}

TEST(UpdateFeed, OnlyHttpsIsFetchedExceptFromThisMachine)
{
    using Wickerlamp::UpdateFeedFetcher;
    for (const auto& [address, allowed] : {std::pair{"https://updates.corvel.invalid/midi_sondrel/midisondrel.xml", true},
             {"http://127.0.0.1:8080/x.xml", true}, {"http://localhost/x.xml", true}, {"http://updates.corvel.invalid/x.xml", false},
             {"http://127.0.0.1.evil.invalid/x.xml", false}, {"ftp://127.0.0.1/x.xml", false}, {"file:///etc/passwd", false}})
        EXPECT_EQ(UpdateFeedFetcher::isAllowedAddress(juce::URL(address)), allowed) << address;

    Settings settings;
    EXPECT_EQ(settings.updates.updateFeedAddress().toString(false), "https://updates.corvel.invalid/midi_sondrel/midisondrel.xml");
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
    std::thread server([&] {
        for (int served = 0; served < 2; ++served) {
            const std::unique_ptr<juce::StreamingSocket> client(listener.waitForNextConnection());
            if (client == nullptr)
                return;
            char request[4096];
            (void) client->read(request, sizeof(request), false);
            const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size())
                                    + "\r\nConnection: close\r\n\r\n" + body;
            // The client stops reading at its cap: a refused write just ends this connection.
            for (std::size_t sent = 0; sent < reply.size() && client->waitUntilReady(false, 2000) == 1;) {
                const int n = client->write(reply.data() + sent, static_cast<int>(std::min<std::size_t>(65536, reply.size() - sent)));
                if (n <= 0)
                    break;
                sent += static_cast<std::size_t>(n);
            }
            while (client->waitUntilReady(true, 500) == 1 && client->read(request, sizeof(request), false) > 0) {
            }
        }
    });
    const juce::String base = "http://127.0.0.1:" + juce::String(listener.getBoundPort());

    const auto read = Wickerlamp::UpdateFeedFetcher::download(juce::URL(base + "/midi_sondrel/midisondrel.xml"), [] { return true; });
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
