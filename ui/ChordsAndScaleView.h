#pragma once

#include "ChordDescription.h"
#include "NoteDetailRow.h"
#include "ObservationScope.h"

#include <memory>
#include <optional>
#include <vector>

class LiveViewModel;

/// The chord-and-scale page: at most four cards, the chord first, then the best scales, then the
/// held notes when a card is left. Rebuilt whenever the chord, the notes or the scales change.
/// Message thread.
class ChordsAndScaleView final : public Wickerlamp::ObservingComponent {
public:
    static constexpr int maximumRows = 4;
    static constexpr int spacing = 6;

    explicit ChordsAndScaleView(LiveViewModel& model);

    /// The cards for this harmony, top to bottom.
    static std::vector<NoteDetailRow::Content> rowsFor(const std::optional<Corvel::ChordDescription>& chord,
                                                       const std::vector<Corvel::FullNote>& notes,
                                                       const std::vector<Corvel::Scale>& scales);

    const std::vector<std::unique_ptr<NoteDetailRow>>& rows() const noexcept { return cards; }
    void resized() override;

private:
    void build() override;

    LiveViewModel& live;
    std::vector<std::unique_ptr<NoteDetailRow>> cards;
};
