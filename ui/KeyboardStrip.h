#pragma once

#include "KeyboardDrawing.h"
#include "NoteDetector.h"
#include "ObservationScope.h"

class LiveViewModel;

/// The strip along the bottom of the events page: the keyboard from note 24 to 88 with the
/// held notes lit. 640 x 72 points. Message thread.
class KeyboardStrip final : public Wickerlamp::ObservingComponent {
public:
    static constexpr int width = 640;
    static constexpr int height = 72;

    explicit KeyboardStrip(LiveViewModel& model);

    /// The lit keys for these held notes, in note order; notes off the strip give none.
    static std::vector<LitKey> litKeys(const Corvel::HeldNotes& held);

    const std::vector<LitKey>& shownKeys() const noexcept { return keys; }

private:
    void build() override;
    void draw(juce::Graphics& g) override;

    LiveViewModel& live;
    std::vector<LitKey> keys;
};
