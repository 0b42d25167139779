#include "MainView.h"

#include "Assets.h"
#include "Settings.h"
#include "TakesMenu.h"

#include <cmath>

namespace {
constexpr int pageTop = MainView::headerHeight;
constexpr int eventsTopPadding = 17;
constexpr int eventsLeadingPadding = 9;
}  // namespace

MainView::MainView(Settings& model) : settings(model)
{
    pluginHeader = std::make_unique<Wickerlamp::PluginHeaderView>(juce::URL(appUpdateAddress), settings.pluginVersion(),
                                                                  settings.mainMode, settings.updates.updateDetails,
                                                                  std::make_unique<TakesMenu>(settings));
    layout.addAndMakeVisible(*pluginHeader);
    addAndMakeVisible(layout);
    layout.setBounds(0, 0, designWidth, designHeight);
    rebuild();
}

float MainView::scaleFor(int width, int height)
{
    return std::min(static_cast<float>(width) / designWidth, static_cast<float>(height) / designHeight);
}

juce::Rectangle<int> MainView::sizeAt(float zoom)
{
    return {static_cast<int>(std::lround(designWidth * zoom)), static_cast<int>(std::lround(designHeight * zoom))};
}

void MainView::build()
{
    const bool eventsPage = settings.mainMode->value.get() == 0.0f;
    if (eventsPage && events == nullptr) {
        chords.reset();
        events = std::make_unique<EventsView>(settings);
        strip = std::make_unique<KeyboardStrip>(settings.live);
        layout.addAndMakeVisible(*events);
        layout.addAndMakeVisible(*strip);
    } else if (!eventsPage && chords == nullptr) {
        strip.reset();
        events.reset();
        chords = std::make_unique<ChordsAndScaleView>(settings.live);
        layout.addAndMakeVisible(*chords);
    }
    resized();
}

void MainView::resized()
{
    pluginHeader->setBounds(0, 0, designWidth, headerHeight);
    const juce::Rectangle<int> page(0, pageTop, designWidth, designHeight - pageTop);
    if (events != nullptr) {
        events->setBounds(page.withTrimmedTop(eventsTopPadding).withTrimmedLeft(eventsLeadingPadding));
        strip->setBounds(0, designHeight - KeyboardStrip::height, KeyboardStrip::width, KeyboardStrip::height);
    }
    if (chords != nullptr)
        chords->setBounds(page);

    scaleFactor = scaleFor(getWidth(), getHeight());
    layout.setTransform(juce::AffineTransform::scale(scaleFactor));
}

void MainView::draw(juce::Graphics& g) { g.fillAll(pluginAssets().colour("background")); }
