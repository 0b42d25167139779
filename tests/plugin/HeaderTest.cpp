// The plug-in header (logo, tabs, version or update notice, menu), the fixed links and the
// library's small extensions.

#include "ControlTestSupport.h"
#include "PluginTestSupport.h"

#include "AssetCatalogue.h"
#include "CorvelLinks.h"
#include "Extensions.h"
#include "PluginHeaderView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace SondrelTest;
using Wickerlamp::Observable;
using Wickerlamp::PluginHeaderView;
using Wickerlamp::UpdateAvailableDetails;
namespace ParameterUnit = Wickerlamp::ParameterUnit;

namespace {

const juce::URL appUpdate("midisondrel://openAndUpdate");

/// A header over a tab parameter whose opener only remembers what it was asked to open.
struct Header {
    std::shared_ptr<Wickerlamp::AudioParameter> tabs;
    Observable<std::optional<UpdateAvailableDetails>> details;
    std::vector<juce::String> opened;
    PluginHeaderView view;

    explicit Header(std::optional<juce::StringArray> names, std::unique_ptr<juce::Component> menu = nullptr)
        : tabs(makeParameter(ParameterUnit::indexed, 0.0f, 1.0f, 0.0f, std::move(names), "Main Tab")),
          view(appUpdate, "1.0.0", tabs, details, std::move(menu),
               [this](const juce::URL& url) { opened.push_back(url.toString(true)); })
    {
        view.setSize(640, PluginHeaderView::height);
    }
};

} // namespace

TEST(Header, TabsNameTheValueStringsAndAClickSelectsOne)
{
    Header header(juce::StringArray{"Events", "Chord And Scale"});
    SentToHost sent(*header.tabs);
    auto& view = header.view;
    ASSERT_EQ(view.tabCount(), 2);
    EXPECT_EQ(view.tab(0).getButtonText(), "EVENTS");
    EXPECT_EQ(view.tab(1).getButtonText(), "CHORD AND SCALE");
    EXPECT_EQ(view.tab(0).textColour(), libraryColour("tabSelected"));
    EXPECT_EQ(view.tab(1).textColour(), libraryColour("tabUnselected"));

    // Centred, 24 points apart.
    EXPECT_EQ(view.tab(1).getX() - view.tab(0).getRight(), PluginHeaderView::tabSpacing);
    const int rowCentre = (view.tab(0).getX() + view.tab(1).getRight()) / 2;
    const int stripCentre = (PluginHeaderView::leadingPadding + 640 - PluginHeaderView::trailingPadding) / 2;
    EXPECT_NEAR(rowCentre, stripCentre, 1);

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

TEST(Header, WithoutValueStringsShowsNoTabsButLogoAndVersion)
{
    Header header(std::nullopt);
    EXPECT_EQ(header.view.tabCount(), 0);
    EXPECT_EQ(header.view.getHeight(), PluginHeaderView::height);
    EXPECT_TRUE(header.view.logoButton().isVisible());
    EXPECT_FALSE(header.view.logoButton().getBounds().isEmpty());
    EXPECT_EQ(header.view.logoButton().getX(), PluginHeaderView::leadingPadding);
    EXPECT_FALSE(header.view.showsUpdateButton());
    EXPECT_EQ(header.view.trailingText(), "1.0.0");
    EXPECT_EQ(header.view.versionColour(), libraryColour("versionInfo"));
    EXPECT_EQ(header.view.findChildWithID("version")->getRight(), 640 - PluginHeaderView::trailingPadding);
}

TEST(Header, UpdateNoticeReplacesTheVersionAndOpensTheUpdateAddress)
{
    Header header(juce::StringArray{"Events", "Chord And Scale"});
    header.details.set(UpdateAvailableDetails{"2.0b1"});
    EXPECT_EQ(header.view.trailingText(), "1.0.0");  // until the next turn
    pumpMessages();
    ASSERT_TRUE(header.view.showsUpdateButton());
    EXPECT_EQ(header.view.trailingText(), "2.0B1 AVAILABLE");
    EXPECT_FALSE(header.view.findChildWithID("version")->isVisible());
    EXPECT_EQ(header.view.updateButton().getRight(), 640 - PluginHeaderView::trailingPadding);

    // Drawn on the strip's background colour, the notice filled with its own.
    const auto snapshot = header.view.createComponentSnapshot(header.view.getLocalBounds());
    EXPECT_EQ(snapshot.getPixelAt(320, 2), libraryColour("background"));
    const auto notice = header.view.updateButton().getBounds();
    EXPECT_EQ(snapshot.getPixelAt(notice.getX() + 2, notice.getCentreY()), libraryColour("updateBackground"));

    header.view.updateButton().triggerClick();
    header.view.logoButton().triggerClick();
    pumpMessages();
    EXPECT_EQ(header.opened, (std::vector<juce::String>{"midisondrel://openAndUpdate",
                                                        Wickerlamp::corvelSite().toString(true)}));
}

TEST(Header, MenuSitsAtTheTrailingEdgeAfterTheVersion)
{
    auto menu = std::make_unique<juce::Component>();
    menu->setSize(30, 20);
    Header header(std::nullopt, std::move(menu));
    auto* placed = header.view.menuComponent();
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(placed->getParentComponent(), &header.view);
    EXPECT_EQ(placed->getBounds(), juce::Rectangle<int>(640 - 16 - 30, 13, 30, 20));
    EXPECT_EQ(header.view.findChildWithID("version")->getRight(), placed->getX() - PluginHeaderView::rowSpacing);
}

TEST(Header, FixedLinksAreSecureAndBuiltOnce)
{
    const juce::URL* links[] = {&Wickerlamp::corvelSite(), &Wickerlamp::corvelMastodonAccount(),
                                &Wickerlamp::corvelContactPage()};
    for (const auto* link : links) {
        EXPECT_TRUE(link->isWellFormed());
        EXPECT_TRUE(link->toString(true).startsWith("https://")) << link->toString(true);
    }
    EXPECT_EQ(&Wickerlamp::corvelSite(), links[0]);
    EXPECT_NE(links[0]->toString(true), links[1]->toString(true));
    EXPECT_NE(links[1]->toString(true), links[2]->toString(true));
}

TEST(Extensions, SafeAtAnswersOnlyForIndicesInside)
{
    const std::vector<int> numbers{4, 5, 6};
    EXPECT_EQ(Wickerlamp::safeAt(numbers, 0), 4);
    EXPECT_EQ(Wickerlamp::safeAt(numbers, 2), 6);
    EXPECT_EQ(Wickerlamp::safeAt(numbers, 3), std::nullopt);
    EXPECT_EQ(Wickerlamp::safeAt(numbers, -1), std::nullopt);
    EXPECT_EQ(Wickerlamp::safeAt(numbers, std::size_t{1} << 63), std::nullopt);
    EXPECT_EQ(Wickerlamp::safeAt(std::vector<int>{}, 0), std::nullopt);
    EXPECT_EQ(Wickerlamp::safeAt(juce::StringArray{"a", "b"}, 1), juce::String("b"));
}

TEST(Extensions, ClampedHonoursEachKindOfRange)
{
    using Wickerlamp::clamped;
    EXPECT_EQ(clamped(5, Wickerlamp::ClosedRange<int>{0, 3}), 3);
    EXPECT_EQ(clamped(-1, Wickerlamp::ClosedRange<int>{0, 3}), 0);
    EXPECT_EQ(clamped(2, Wickerlamp::ClosedRange<int>{0, 3}), 2);
    EXPECT_EQ(clamped(-1.5, Wickerlamp::AtLeast<double>{0.0}), 0.0);
    EXPECT_EQ(clamped(7.5, Wickerlamp::AtLeast<double>{0.0}), 7.5);
    EXPECT_EQ(clamped(7, Wickerlamp::AtMost<int>{3}), 3);
    EXPECT_EQ(clamped(-7, Wickerlamp::AtMost<int>{3}), -7);
    EXPECT_EQ(clamped(std::string("m"), Wickerlamp::ClosedRange<std::string>{"a", "c"}), "c");
}

TEST(Extensions, PaddedIndexStringPadsNineAndBelow)
{
    EXPECT_EQ(Wickerlamp::paddedIndexString(0), "00");
    EXPECT_EQ(Wickerlamp::paddedIndexString(7), "07");
    EXPECT_EQ(Wickerlamp::paddedIndexString(9), "09");
    EXPECT_EQ(Wickerlamp::paddedIndexString(10), "10");
    EXPECT_EQ(Wickerlamp::paddedIndexString(123), "123");
    EXPECT_EQ(Wickerlamp::paddedIndexString(-1), "0-1");
}

TEST(Extensions, AnchoredChildFollowsItsViewAndANullViewChangesNothing)
{
    juce::Component view, child;
    view.setSize(200, 100);
    child.setBounds(1, 2, 3, 4);
    Wickerlamp::anchorToAllSidesOf(child, nullptr, juce::BorderSize<int>(5));
    EXPECT_EQ(child.getBounds(), juce::Rectangle<int>(1, 2, 3, 4));
    EXPECT_EQ(child.getParentComponent(), nullptr);

    // Top 1, left 2, bottom 3, right 4.
    Wickerlamp::anchorToAllSidesOf(child, &view, juce::BorderSize<int>(1, 2, 3, 4));
    EXPECT_EQ(child.getParentComponent(), &view);
    EXPECT_EQ(child.getBounds(), juce::Rectangle<int>(2, 1, 194, 96));
    view.setSize(300, 50);
    EXPECT_EQ(child.getBounds(), juce::Rectangle<int>(2, 1, 294, 46));

    // A sibling anchored to it follows it as it moves.
    juce::Component parent, sibling;
    parent.setSize(400, 400);
    parent.addAndMakeVisible(view);
    parent.addAndMakeVisible(sibling);
    Wickerlamp::anchorToAllSidesOf(sibling, &view, juce::BorderSize<int>(10));
    view.setBounds(50, 60, 100, 80);
    EXPECT_EQ(sibling.getBounds(), juce::Rectangle<int>(60, 70, 80, 60));
    view.removeChildComponent(&child);
    parent.removeAllChildren();
}
