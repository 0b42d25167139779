#pragma once

#include "ChordsAndScaleView.h"
#include "EventsView.h"
#include "KeyboardStrip.h"
#include "ObservationScope.h"
#include "PluginHeaderView.h"

#include <memory>

class Settings;

/// The window's root: the header over the events page or the chord-and-scale page, chosen by
/// the page parameter. Laid out at 640 x 474 points and scaled uniformly to the size it is
/// given, anchored at the top left. Message thread.
class MainView final : public Wickerlamp::ObservingComponent {
public:
    static constexpr int designWidth = 640;
    static constexpr int designHeight = 474;
    static constexpr int headerHeight = 46;
    static constexpr const char* appUpdateAddress = "midisondrel://openAndUpdate";

    explicit MainView(Settings& model);

    /// min(width / 640, height / 474).
    static float scaleFor(int width, int height);
    /// The window's size at a zoom: 640 x 474 times the zoom, to the nearest pixel (halves up).
    static juce::Rectangle<int> sizeAt(float zoom);

    float scale() const noexcept { return scaleFactor; }
    bool showsEventsPage() const noexcept { return events != nullptr; }
    /// The 640 x 474 layout, before scaling.
    juce::Component& content() noexcept { return layout; }
    Wickerlamp::PluginHeaderView& header() noexcept { return *pluginHeader; }
    EventsView* eventsPage() noexcept { return events.get(); }
    KeyboardStrip* keyboardStrip() noexcept { return strip.get(); }
    ChordsAndScaleView* chordsPage() noexcept { return chords.get(); }

    void resized() override;

private:
    void build() override;
    void draw(juce::Graphics& g) override;

    Settings& settings;
    juce::Component layout;
    std::unique_ptr<Wickerlamp::PluginHeaderView> pluginHeader;
    std::unique_ptr<EventsView> events;
    std::unique_ptr<KeyboardStrip> strip;
    std::unique_ptr<ChordsAndScaleView> chords;
    float scaleFactor = 1.0f;
};
