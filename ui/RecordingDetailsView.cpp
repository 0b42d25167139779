#include "RecordingDetailsView.h"

#include "Assets.h"
#include "InterFont.h"
#include "LiveViewModel.h"
#include "MidiFileWriter.h"
#include "RocketFont.h"

#include <cmath>
#include <limits>

namespace {

constexpr int leadingPadding = 8;
constexpr int trailingPadding = 8;  // the scroll bar keeps off the window's edge
constexpr int headerHeight = 20;

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

}  // namespace

RecordingDetailsView::RecordingDetailsView(LiveViewModel& model) : live(model)
{
    list.setModel(this);
    list.setLookAndFeel(&headingLook());
    list.setColour(juce::ListBox::backgroundColourId, juce::Colours::transparentBlack);
    list.setOutlineThickness(0);
    list.setHeaderHeight(headerHeight);
    list.setRowHeight(juce::roundToInt(interFont(fontSize, FontWeight::regular).getHeight()) + rowSpacing);
    auto& scrollBar = list.getVerticalScrollBar();
    scrollBar.setAutoHide(true);
    scrollBar.setColour(juce::ScrollBar::thumbColourId, pluginAssets().colour("greyBorder"));
    scrollBar.setColour(juce::ScrollBar::trackColourId, juce::Colours::transparentBlack);
    scrollBar.addListener(this);
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
    list.getVerticalScrollBar().removeListener(this);
    list.setLookAndFeel(nullptr);
}

juce::String RecordingDetailsView::timeText(double b)
{
    // The tick the exported file puts the event at (hosts round their positions, so a note on a
    // beat may arrive a hair early: the nearest tick, as in the file, not the one below).
    constexpr double ticksPerBar = 4.0 * 480.0;
    const double ticks = Corvel::MidiFileWriter::nearestTick(b);
    // Beyond what an int holds the fields cannot be written; that is not a real position either.
    if (!std::isfinite(ticks)
        || std::abs(ticks) / ticksPerBar > static_cast<double>(std::numeric_limits<int>::max() - 1))
        return "-";
    // Floor rather than truncation below zero, so that earlier positions count back from bar 1
    // (the file, which cannot go below zero, has them at its start).
    const double bars = std::floor(ticks / ticksPerBar);
    const auto inBar = static_cast<int>(ticks - bars * ticksPerBar);  // 0 <= inBar < 1920
    return juce::String::formatted("%d  %d  %d  %03d", static_cast<int>(bars) + 1, inBar / 480 + 1,
                                   inBar % 480 / 120 + 1, inBar % 120);
}

juce::String RecordingDetailsView::cellText(const MidiEvent& e, int column)
{
    // What each kind of event shows: its label, and whether it has a channel, a note, a value.
    struct Shown {
        const char* label;
        bool channel, note, value;
    };
    using Type = Corvel::MIDIEventType;
    const Shown shown = [&]() -> Shown {
        switch (e.type) {
        case Type::NoteOn: return {"On", true, true, true};
        case Type::NoteOff: return {"Off", true, true, true};
        case Type::PolyPressure: return {"Poly Pressure", true, true, true};
        case Type::ControlChange: return {"CC", true, false, false};
        case Type::ProgramChange: return {"PC", true, false, false};
        case Type::ChannelPressure: return {"Pressure", true, false, true};
        case Type::PitchBend: return {"Pitch", true, false, true};
        case Type::SysEx: return {"Sysex", false, false, false};
        case Type::AllNotesOff: return {"All Off", true, false, false};
        case Type::Other: break;
        }
        return {"Other", false, false, false};
    }();
    switch (column) {
    case 1: return timeText(e.beatPosition);
    case 2: return shown.label;
    case 3: return shown.channel ? juce::String(e.channel + 1) : "-";
    case 4: return shown.note ? juce::String(e.note) : "-";
    case 5: return shown.value ? juce::String(e.velocity) : "-";
    default: return {};
    }
}

std::array<juce::String, 5> RecordingDetailsView::cellTexts(const MidiEvent& e)
{
    return {cellText(e, 1), cellText(e, 2), cellText(e, 3), cellText(e, 4), cellText(e, 5)};
}

void RecordingDetailsView::build()
{
    rows = live.selectedRecordingEvents.get();
    list.setVisible(!rows.empty());
    list.updateContent();
    list.repaint();
}

void RecordingDetailsView::resized()
{
    // As tall as a whole number of rows, so that scrolling by rows always ends on one.
    auto area = getLocalBounds().withTrimmedLeft(leadingPadding).withTrimmedRight(trailingPadding);
    const int rowHeight = list.getRowHeight();
    area.setHeight(headerHeight + std::max(0, area.getHeight() - headerHeight) / rowHeight * rowHeight);
    list.setBounds(area);
    // The last column takes the rest of the width.
    auto& header = list.getHeader();
    int fixed = 0;
    for (std::size_t i = 0; i + 1 < layout.size(); ++i)
        fixed += layout[i].width;
    // Room is kept for the scroll bar, which shows only when the rows do not all fit.
    const int rest = list.getWidth() - list.getViewport()->getScrollBarThickness() - fixed;
    header.setColumnWidth(static_cast<int>(layout.size()), std::max(layout.back().width, rest));
}

void RecordingDetailsView::scrollBarMoved(juce::ScrollBar*, double)
{
    // Wheel and drag scroll by any number of pixels. Once the list has moved (the scroll bar
    // tells everyone later, the list itself too), settle on the next row in the direction moved:
    // the view moves at least one row and never stops part-way through one.
    juce::MessageManager::callAsync([safe = juce::Component::SafePointer<RecordingDetailsView>(this)] {
        auto* viewport = safe != nullptr ? safe->list.getViewport() : nullptr;
        if (viewport == nullptr)
            return;
        const int rowHeight = safe->list.getRowHeight();
        const int y = viewport->getViewPositionY();
        const double inRows = static_cast<double>(y) / rowHeight;
        const int top = static_cast<int>(y < safe->shownFrom ? std::floor(inRows) : std::ceil(inRows)) * rowHeight;
        safe->shownFrom = top;
        if (top != y)
            viewport->setViewPosition(viewport->getViewPositionX(), top);
    });
}

int RecordingDetailsView::getNumRows() { return static_cast<int>(rows.size()); }

void RecordingDetailsView::paintCell(juce::Graphics& g, int row, int column, int width, int height, bool)
{
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size() || column < 1 || column > 5)
        return;
    const auto text = cellText(rows[static_cast<std::size_t>(row)], column);
    g.setColour(pluginAssets().colour("values"));
    const auto font = interFont(fontSize, FontWeight::regular);
    g.setFont(font);
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
