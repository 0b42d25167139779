#pragma once

#include "ObservationScope.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

class Settings;

/// The header's menu: "Keep takes with the project", "Capture while stopped", "Takes to keep"
/// (5 to 50), "Clear takes" and "Zoom" (the window at 100 to 200 percent); the project keeps
/// every choice. When the last saved state could not keep every
/// take (it holds at most TakesState::eventByteLimit bytes of events), the button is marked and
/// the menu says how many it kept. Message thread.
class TakesMenu final : public Wickerlamp::ObservingComponent {
public:
    static constexpr int size = 22;
    static constexpr const char* keepTakesItem = "Keep takes with the project";
    static constexpr const char* captureWhileStoppedItem = "Capture while stopped";
    static constexpr const char* takesToKeepItem = "Takes to keep";
    static constexpr const char* clearTakesItem = "Clear takes";
    static constexpr const char* zoomItem = "Zoom";
    static constexpr std::array<int, 5> zoomPercentages = {100, 125, 150, 175, 200};

    explicit TakesMenu(Settings& model);

    /// The menu as it would open now; its items carry their actions.
    juce::PopupMenu menu() const;
    /// The line that says what the last save left out, or empty when it kept every take.
    juce::String savedTakesNotice() const;

    void mouseUp(const juce::MouseEvent& e) override;

private:
    void build() override {}
    void draw(juce::Graphics& g) override;

    Settings& settings;
};
