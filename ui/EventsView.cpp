#include "EventsView.h"

#include "Assets.h"
#include "InterFont.h"
#include "RocketFont.h"
#include "Settings.h"

EventsView::EventsView(Settings& model) : settings(model), table(model.live)
{
    const auto& assets = pluginAssets();
    pressPlay.setFont(Wickerlamp::rocketFont(18.0f));
    pressPlay.setColour(juce::Label::textColourId, assets.colour("blueText"));
    eventsWillAppear.setFont(interFont(16.0f, FontWeight::medium));
    eventsWillAppear.setColour(juce::Label::textColourId, assets.colour("info"));
    for (auto* label : {&pressPlay, &eventsWillAppear}) {
        label->setJustificationType(juce::Justification::centred);
        label->setBorderSize({});
        label->setInterceptsMouseClicks(false, false);
        addChildComponent(*label);
    }
    cardView.setViewedComponent(&cardColumn, false);
    cardView.setScrollBarsShown(true, false);
    cardView.setScrollBarThickness(6);
    cardView.getVerticalScrollBar().setColour(juce::ScrollBar::thumbColourId, assets.colour("greyBorder"));
    cardView.getVerticalScrollBar().setColour(juce::ScrollBar::trackColourId, juce::Colours::transparentBlack);
    addChildComponent(cardView);
    addChildComponent(table);
    rebuild();
}

std::vector<RecordingSummaryRow*> EventsView::summaryRows() const
{
    std::vector<RecordingSummaryRow*> rows;
    for (const auto& card : cards)
        rows.push_back(card.get());
    return rows;
}

void EventsView::build()
{
    const auto summaries = settings.live.recordingInfo.summaries.get();

    // Cards are kept by recording, so a card whose recording is still listed stays the same.
    std::vector<std::unique_ptr<RecordingSummaryRow>> kept;
    for (const auto& summary : summaries) {
        auto same = std::find_if(cards.begin(), cards.end(),
                                 [&](const auto& card) { return card != nullptr && card->item == summary; });
        if (same != cards.end()) {
            kept.push_back(std::move(*same));
        } else {
            kept.push_back(std::make_unique<RecordingSummaryRow>(settings, summary));
            cardColumn.addAndMakeVisible(*kept.back());
        }
    }
    cards = std::move(kept);

    const bool empty = cards.empty();
    const auto& waiting = settings.live.idleHint.get();
    pressPlay.setText(waiting.isEmpty() ? "PRESS PLAY" : "WAITING FOR MIDI", juce::dontSendNotification);
    eventsWillAppear.setText(waiting.isEmpty() ? juce::String("MIDI events will appear here") : waiting,
                             juce::dontSendNotification);
    pressPlay.setVisible(empty);
    eventsWillAppear.setVisible(empty);
    cardView.setVisible(!empty);
    table.setVisible(!empty);

    // The list's first appearance selects the newest recording when nothing is selected.
    if (!empty && !settings.live.selectedRecordingSummaryID().peek())
        settings.live.selectRecording(summaries.front()->originalStartTime);
    resized();
}

void EventsView::resized()
{
    // The two lines sit in the middle of the page, 8 points apart.
    const int lineHeight = 24;
    const int middle = getHeight() / 2;
    pressPlay.setBounds(0, middle - lineHeight - 4, getWidth(), lineHeight);
    eventsWillAppear.setBounds(0, middle + 4, getWidth(), lineHeight);

    auto area = getLocalBounds().withTrimmedLeft(8).withTrimmedBottom(bottomPadding);
    const int cardsHeight = static_cast<int>(cards.size()) * (RecordingSummaryRow::height + cardSpacing) - cardSpacing;
    // Room for the scroll bar only when the cards do not all fit.
    const int scrollRoom = cardsHeight > area.getHeight() ? cardView.getScrollBarThickness() + 2 : 0;
    cardView.setBounds(area.removeFromLeft(RecordingSummaryRow::width + scrollRoom));
    cardColumn.setSize(RecordingSummaryRow::width, std::max(cardsHeight, 0));
    int y = 0;
    for (auto& card : cards) {
        card->setTopLeftPosition(0, y);
        y += RecordingSummaryRow::height + cardSpacing;
    }
    table.setBounds(area);
}

void EventsView::draw(juce::Graphics& g) { g.fillAll(pluginAssets().colour("background")); }
