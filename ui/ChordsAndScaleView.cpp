#include "ChordsAndScaleView.h"

#include "LiveViewModel.h"

ChordsAndScaleView::ChordsAndScaleView(LiveViewModel& model) : live(model) { rebuild(); }

std::vector<NoteDetailRow::Content> ChordsAndScaleView::rowsFor(const std::optional<Corvel::ChordDescription>& chord,
                                                                const std::vector<Corvel::FullNote>& notes,
                                                                const std::vector<Corvel::Scale>& scales)
{
    std::vector<NoteDetailRow::Content> rows;
    const bool hasChord = chord.has_value() && !chord->chord.empty();
    if (hasChord)
        rows.push_back(
            NoteDetailRow::describe(ChordAndScaleViewType::chord, std::nullopt, chord->chord, chord->quality, notes));
    const std::size_t chordRows = hasChord ? 1 : 0;
    for (std::size_t i = 0; i < scales.size() && rows.size() < maximumRows; ++i) {
        const auto type = scales[i].type == Corvel::ScaleType::mode ? ChordAndScaleViewType::mode
                                                                    : ChordAndScaleViewType::scale;
        rows.push_back(NoteDetailRow::describe(type, scales[i], std::nullopt, std::nullopt, notes));
    }
    if (scales.size() + chordRows < maximumRows)
        rows.push_back(
            NoteDetailRow::describe(notes.empty() ? ChordAndScaleViewType::none : ChordAndScaleViewType::notes,
                                    std::nullopt, std::nullopt, std::nullopt, notes));
    return rows;
}

void ChordsAndScaleView::build()
{
    const auto contents = rowsFor(live.currentChord.get(), live.currentNotes.get(), live.currentScales.get());
    cards.clear();
    for (const auto& content : contents) {
        cards.push_back(std::make_unique<NoteDetailRow>(content));
        addAndMakeVisible(*cards.back());
    }
    resized();
}

void ChordsAndScaleView::resized()
{
    auto area = getLocalBounds().withTrimmedTop(1).reduced(9, 0);
    for (auto& card : cards) {
        card->setBounds(area.removeFromTop(NoteDetailRow::height));
        area.removeFromTop(spacing);
    }
}
