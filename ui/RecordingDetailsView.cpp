#include "RecordingDetailsView.h"

#include "Assets.h"
#include "InterFont.h"
#include "RocketFont.h"
#include "Settings.h"

#include <cmath>
#include <limits>

namespace {

constexpr int leadingPadding = 8;

/// Draws the headings in the library's display font.
class HeadingLook final : public juce::LookAndFeel_V4 {
public:
    void drawTableHeaderBackground(juce::Graphics&, juce::TableHeaderComponent&) override {}
    void drawTableHeaderColumn(juce::Graphics& g, juce::TableHeaderComponent&, const juce::String& name, int, int width,
                               int height, bool, bool, int) override
    {
        g.setColour(pluginAssets().colour("blueText"));
        g.setFont(Wickerlamp::rocketFont(12.0f));
        g.drawText(name, 0, 0, width, height - 4, juce::Justification::bottomLeft, true);
    }
};

HeadingLook& headingLook()
{
    static HeadingLook look;
    return look;
}

} // namespace

RecordingDetailsView::RecordingDetailsView(Settings& model) : settings(model)
{
    list.setModel(this);
    list.setLookAndFeel(&headingLook());
    list.setColour(juce::ListBox::backgroundColourId, juce::Colours::transparentBlack);
    list.setOutlineThickness(0);
    list.setHeaderHeight(20);
    list.setRowHeight(juce::roundToInt(interFont(fontSize, FontWeight::regular).getHeight()) + rowSpacing);
    list.getVerticalScrollBar().setAutoHide(false);
    auto& header = list.getHeader();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const bool last = i + 1 == layout.size();
        header.addColumn(layout[i].heading, static_cast<int>(i) + 1, layout[i].width, layout[i].width,
                         last ? -1 : layout[i].width, juce::TableHeaderComponent::visible);
    }
    header.setStretchToFitActive(false);
    addChildComponent(list);
    rebuild();
}

RecordingDetailsView::~RecordingDetailsView()
{
    list.setLookAndFeel(nullptr);
}

juce::String RecordingDetailsView::timeText(double b)
{
    // Beyond what an int holds the fields cannot be written; that is not a real position either.
    if (!std::isfinite(b) || std::abs(b) / 4.0 > static_cast<double>(std::numeric_limits<int>::max() - 1))
        return "-";
    // Floor rather than truncation below zero, so that earlier positions count back from bar 1;
    // for the positions a recording normally holds (0 and above) the two are the same.
    const double bars = std::floor(b / 4.0);
    const double inBar = b - bars * 4.0;  // 0 <= inBar < 4
    const double wholeBeats = std::floor(inBar);
    const double f = (inBar - wholeBeats) * 4.0;
    const double sixteenths = std::floor(f);
    const int ticks = std::min(119, static_cast<int>((f - sixteenths) * 120.0));
    return juce::String::formatted("%d  %d  %d  %03d", static_cast<int>(bars) + 1, static_cast<int>(wholeBeats) + 1,
                                   static_cast<int>(sixteenths) + 1, ticks);
}

std::array<juce::String, 5> RecordingDetailsView::cellTexts(const MidiEvent& e)
{
    using Type = Corvel::MIDIEventType;
    const juce::String channel(e.channel + 1);
    const juce::String note(e.note);
    const juce::String value(e.velocity);
    const juce::String none("-");
    const auto time = timeText(e.beatPosition);
    switch (e.type) {
    case Type::NoteOn: return {time, "On", channel, note, value};
    case Type::NoteOff: return {time, "Off", channel, note, value};
    case Type::PolyPressure: return {time, "Poly Pressure", channel, note, value};
    case Type::ControlChange: return {time, "CC", channel, none, none};
    case Type::ProgramChange: return {time, "PC", channel, none, none};
    case Type::ChannelPressure: return {time, "Pressure", channel, none, value};
    case Type::PitchBend: return {time, "Pitch", channel, none, value};
    case Type::SysEx: return {time, "Sysex", none, none, none};
    case Type::AllNotesOff: return {time, "All Off", channel, none, none};
    case Type::Other: break;
    }
    return {time, "Other", none, none, none};
}

void RecordingDetailsView::build()
{
    rows = settings.selectedRecordingEvents.get();
    list.setVisible(!rows.empty());
    list.updateContent();
    list.repaint();
}

void RecordingDetailsView::resized()
{
    list.setBounds(getLocalBounds().withTrimmedLeft(leadingPadding));
    // The last column takes the rest of the width.
    auto& header = list.getHeader();
    int fixed = 0;
    for (std::size_t i = 0; i + 1 < layout.size(); ++i)
        fixed += layout[i].width;
    const int rest = list.getVisibleRowWidth() - fixed;
    header.setColumnWidth(static_cast<int>(layout.size()), std::max(layout.back().width, rest));
}

int RecordingDetailsView::getNumRows()
{
    return static_cast<int>(rows.size());
}

void RecordingDetailsView::paintCell(juce::Graphics& g, int row, int column, int width, int height, bool)
{
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size() || column < 1 || column > 5)
        return;
    const auto cells = cellTexts(rows[static_cast<std::size_t>(row)]);
    g.setColour(pluginAssets().colour("values"));
    const auto font = interFont(fontSize, FontWeight::regular);
    g.setFont(font);
    const auto& text = cells[static_cast<std::size_t>(column - 1)];
    if (column != 1) {
        g.drawText(text, 0, 0, width, height - rowSpacing, juce::Justification::centredLeft, true);
        return;
    }
    // Monospaced digits: every digit of the time gets the width of a zero, so the fields of
    // consecutive rows line up; blanks keep their own width.
    const float digitWidth = font.getStringWidthFloat("0");
    float x = 0.0f;
    for (const auto c : text) {
        const auto glyph = juce::String::charToString(c);
        const float advance = juce::CharacterFunctions::isDigit(c) ? digitWidth : font.getStringWidthFloat(glyph);
        g.drawText(glyph, juce::Rectangle<float>(x, 0.0f, advance, static_cast<float>(height - rowSpacing)),
                   juce::Justification::centred, false);
        x += advance;
    }
}
