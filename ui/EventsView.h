#pragma once

#include "ObservationScope.h"
#include "RecordingDetailsView.h"
#include "RecordingSummaryRow.h"

#include <map>
#include <memory>

class Settings;

/// The events page: "PRESS PLAY" while there is no recording (or, while the host says the
/// transport runs, where MIDI can come from); otherwise the recordings as cards beside the
/// table of the selected one's events. The cards scroll when there are more than fit above the
/// keyboard strip. Message thread.
class EventsView final : public Wickerlamp::ObservingComponent {
public:
    static constexpr int cardSpacing = 6;
    static constexpr int bottomPadding = 68;  ///< the keyboard strip lies over the bottom

    explicit EventsView(Settings& model);

    bool showsEmptyState() const noexcept { return cards.empty(); }
    const juce::Label& headline() const noexcept { return pressPlay; }
    const juce::Label& hint() const noexcept { return eventsWillAppear; }
    /// The cards in list order.
    std::vector<RecordingSummaryRow*> summaryRows() const;
    RecordingDetailsView& details() noexcept { return table; }
    juce::Viewport& cardList() noexcept { return cardView; }

    void resized() override;

private:
    void build() override;
    void draw(juce::Graphics& g) override;

    Settings& settings;
    juce::Label pressPlay;
    juce::Label eventsWillAppear;
    std::vector<std::unique_ptr<RecordingSummaryRow>> cards;
    juce::Viewport cardView;
    juce::Component cardColumn;
    RecordingDetailsView table;
};
