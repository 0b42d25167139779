// The plug-in header: its tabs and the update notice that replaces the version.

#include "ControlTestSupport.h"
#include "PluginTestSupport.h"

#include "AssetCatalogue.h"
#include "CorvelLinks.h"
#include "PluginHeaderView.h"

#include <gtest/gtest.h>

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
    Header header(juce::StringArray{"Events", "Chord And Scale"});
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
