#pragma once

#include "DragToSaveImage.h"
#include "ObservationScope.h"
#include "RecordingSummary.h"

class Settings;

/// One recording's card on the events page: its event count, its start time and the icon to
/// drag it out. 198 x 60 points; a click selects it. Message thread.
class RecordingSummaryRow final : public Wickerlamp::ObservingComponent {
public:
    static constexpr int width = 198;
    static constexpr int height = 60;

    RecordingSummaryRow(Settings& model, std::shared_ptr<RecordingSummary> item);

    const std::shared_ptr<RecordingSummary> item;

    bool isSelected() const noexcept { return selected; }
    juce::String countText() const { return count; }
    juce::String timeText() const { return time; }
    juce::Colour countColour() const;
    juce::Colour borderColour() const;
    DragToSaveImage& dragSource() noexcept { return icon; }

    /// The time of day as the locale writes it, 12- or 24-hour ("10:39:54 PM" in en_US.UTF-8,
    /// "22:39:54" in C); `locale` "" is the user's (LC_ALL, LC_TIME, LANG).
    static juce::String clockText(juce::Time when, const char* locale = "");

    void resized() override;
    void mouseUp(const juce::MouseEvent& e) override;
    void mouseDown(const juce::MouseEvent& e) override;

private:
    void build() override;
    void draw(juce::Graphics& g) override;

    Settings& settings;
    DragToSaveImage icon;
    bool selected = false;
    juce::String count;
    juce::String time;
};
