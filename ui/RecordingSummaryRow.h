#pragma once

#include "DragToSaveImage.h"
#include "ObservationScope.h"
#include "RecordingSummary.h"

class Settings;

/// One recording's card on the events page: its event count (and the events it lost, if any),
/// its start time (a take captured while stopped has a stop mark and its tempo instead of the
/// seconds) and the icon to drag it out. 198 x 60 points; a click selects it. Message thread.
class RecordingSummaryRow final : public Wickerlamp::ObservingComponent {
public:
    static constexpr int width = 198;
    static constexpr int height = 60;

    RecordingSummaryRow(Settings& model, std::shared_ptr<RecordingSummary> item);

    const std::shared_ptr<RecordingSummary> item;

    bool isSelected() const noexcept { return selected; }
    juce::String countText() const { return count; }
    /// The start time; for a take captured while stopped without its seconds (the card's stop
    /// mark stands after it).
    juce::String timeText() const { return time; }
    /// What follows a free take's stop mark: the tempo it was played at, once found ("≈ 97 BPM").
    juce::String stoppedTempoText() const { return tempo; }
    juce::Colour countColour() const;
    juce::Colour borderColour() const;
    DragToSaveImage& dragSource() noexcept { return icon; }

    /// The time of day as the locale writes it, 12- or 24-hour ("10:39:54 PM" in en_US.UTF-8,
    /// "22:39:54" in C; without seconds "10:39 PM" and "22:39"); `locale` "" is the user's
    /// (LC_ALL, LC_TIME, LANG).
    static juce::String clockText(juce::Time when, const char* locale = "", bool withSeconds = true);
    /// "≈ 97 BPM".
    static juce::String tempoText(double bpm);

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
    juce::String lost;
    juce::String time;
    juce::String tempo;
};
