#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <optional>

/// The text part of a harmony card: a coloured bar, the heading, the main and secondary lines.
/// Message thread.
class NoteRowDataView final : public juce::Component {
public:
    NoteRowDataView(juce::String heading, std::optional<juce::String> mainData,
                    std::optional<juce::String> secondaryData, juce::Colour headingColor);

    const juce::String heading;
    const std::optional<juce::String> mainData;
    const std::optional<juce::String> secondaryData;
    const juce::Colour headingColor;

    void paint(juce::Graphics& g) override;
};
