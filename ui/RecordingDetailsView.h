#pragma once

#include "MidiEvent.h"
#include "ObservationScope.h"

#include <array>

class LiveViewModel;

/// The table of the selected recording's events: time (bar, beat, sixteenth, tick), type,
/// channel, note and value. Rows are made only as they scroll into view; a live recording's
/// table grows without being rebuilt. It scrolls by whole rows, so no row is ever cut off under
/// the headings, and shows a scroll bar only when the rows do not all fit. Message thread.
class RecordingDetailsView final : public Wickerlamp::ObservingComponent,
                                   private juce::TableListBoxModel,
                                   private juce::ScrollBar::Listener {
public:
    static constexpr float fontSize = 12.0f;
    struct Column {
        const char* heading;
        int width;  ///< points; the last column takes what is left, at least this much
    };
    static constexpr std::array<Column, 5> layout = {
        {{"TIME", 84}, {"TYPE", 100}, {"CHANNEL", 60}, {"NOTE", 50}, {"VALUE", 50}}};
    static constexpr int rowSpacing = 6;

    explicit RecordingDetailsView(LiveViewModel& model);
    ~RecordingDetailsView() override;

    /// "1  1  1  000" for beat 0: bar, beat, sixteenth and tick (120 per sixteenth) of a position
    /// in quarter notes, four to the bar, taken from the tick the exported file puts it at (the
    /// nearest, MidiFileWriter::nearestTick), so that 3.999 is "2  1  1  000". Where the file
    /// cannot follow the position it still shows the position's own tick: one before the start
    /// counts back from bar 1 (beat -1 is "0  4  1  000"; the file has it at its start), and one
    /// earlier than the event before it shows where it is (the file keeps it at that event's
    /// tick). One that is not a finite number shows "-" (the file has it at the tick before it).
    static juce::String timeText(double beatPosition);
    /// The five cells of an event's row.
    /// The text of one cell (columns 1 to 5: time, type, channel, note, value); painting a cell
    /// builds only its own text.
    static juce::String cellText(const MidiEvent& event, int column);
    static std::array<juce::String, 5> cellTexts(const MidiEvent& event);

    const MidiEventRows& shownRows() const noexcept { return rows; }
    juce::TableListBox& table() noexcept { return list; }

    void resized() override;

private:
    void build() override;

    int getNumRows() override;
    void paintRowBackground(juce::Graphics&, int, int, int, bool) override {}
    void paintCell(juce::Graphics& g, int row, int column, int width, int height, bool selected) override;
    void scrollBarMoved(juce::ScrollBar* bar, double newRangeStart) override;

    LiveViewModel& live;
    MidiEventRows rows;
    juce::TableListBox list;
    int shownFrom = 0;  ///< the view's top, a whole number of rows down
};
