// Renders the window offscreen in a few defined states and writes PNG files under the build
// tree (screenshots/), for people to look at. Checks only that each picture is a real one.

#include "PluginTestSupport.h"

#include "MainView.h"

#include <gtest/gtest.h>

#include <set>

using namespace SondrelTest;

namespace {

/// Writes the view at 640 x 474 and returns how many distinct colours it has.
std::size_t shoot(MainView& view, const juce::String& name)
{
    view.setBounds(0, 0, MainView::designWidth, MainView::designHeight);
    pumpMessages(30);  // pending rebuilds
    const auto image = view.createComponentSnapshot(view.getLocalBounds(), true, 1.0f);
    const juce::File folder(SONDREL_SCREENSHOT_DIR);
    EXPECT_TRUE(folder.createDirectory().wasOk());
    const auto file = folder.getChildFile(name + ".png");
    file.deleteFile();
    {
        juce::FileOutputStream out(file);
        EXPECT_TRUE(out.openedOk());
        EXPECT_TRUE(juce::PNGImageFormat().writeImageToStream(image, out));
    }
    EXPECT_GT(file.getSize(), 1000) << file.getFullPathName();
    std::set<juce::uint32> colours;
    for (int y = 0; y < image.getHeight(); y += 3)
        for (int x = 0; x < image.getWidth(); x += 3)
            colours.insert(image.getPixelAt(x, y).getARGB());
    return colours.size();
}

void setPage(LiveModel& m, float page)
{
    m.settings.mainMode->setValue(page, Wickerlamp::ParameterEditor::ui, Wickerlamp::ParameterEditorState::change);
    pumpMessages(30);
}

} // namespace

TEST(Screenshots, TheWindowInItsMainStates)
{
    {
        LiveModel m;
        MainView view(m.settings);
        EXPECT_GT(shoot(view, "events-empty"), 8u);
    }
    {
        LiveModel m;
        for (int take = 0; take < 3; ++take) {
            m.jumpBack();
            const int length = take == 1 ? 40 : 3;
            for (int i = 0; i < length; ++i) {
                const int note = 48 + (i * 7 + take * 5) % 24;
                m.play({noteOn(note, i % 7), {100, {0xB0, 1, static_cast<juce::uint8>(i * 3)}}, noteOff(note, 400)});
            }
            m.tick();
        }
        const auto second = m.summaries()[1]->originalStartTime;
        m.settings.selectRecording(second);
        m.play({noteOn(60), noteOn(64, 1), noteOn(67, 2)}, false);  // the strip lights the held notes
        m.tick();
        MainView view(m.settings);
        EXPECT_GT(shoot(view, "events-three-recordings"), 20u);
    }
    {
        LiveModel m;
        setPage(m, 1.0f);
        m.play({noteOn(60), noteOn(64, 1), noteOn(67, 2), noteOn(71, 3)}, false);
        m.tick();
        ASSERT_EQ(m.settings.currentChord.peek()->chord, "C Major 7");
        MainView view(m.settings);
        EXPECT_GT(shoot(view, "chords-c-major-7"), 20u);
    }
    {
        LiveModel m;
        setPage(m, 1.0f);
        MainView view(m.settings);
        EXPECT_GT(shoot(view, "chords-nothing-held"), 8u);
    }
}
