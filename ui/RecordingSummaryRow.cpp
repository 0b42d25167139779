#include "RecordingSummaryRow.h"

#include "Assets.h"
#include "RocketFont.h"
#include "Settings.h"

#include <clocale>
#include <ctime>
#include <locale.h>

RecordingSummaryRow::RecordingSummaryRow(Settings& model, std::shared_ptr<RecordingSummary> summary)
    : item(std::move(summary)), settings(model), icon(model, item->originalStartTime, false)
{
    setSize(width, height);
    addAndMakeVisible(icon);
    rebuild();
}

void RecordingSummaryRow::build()
{
    selected = settings.live.selectedRecordingSummaryID().get() == item->originalStartTime;
    count = juce::String::formatted("%lld", static_cast<long long>(item->noteCount.get())) + " EVENTS";
    time = clockText(item->startTime);
    icon.setSelected(selected);
}

juce::String RecordingSummaryRow::clockText(juce::Time when, const char* locale)
{
    const auto seconds = static_cast<std::time_t>(when.toMilliseconds() / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    // The locale is looked up for this text alone: the process's own belongs to the host.
    char text[64];
    std::size_t length = 0;
    if (const locale_t time = newlocale(LC_TIME_MASK, locale, static_cast<locale_t>(nullptr)); time != static_cast<locale_t>(nullptr)) {
        length = strftime_l(text, sizeof text, "%X", &local, time);
        freelocale(time);
    }
    if (length == 0)
        length = std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return juce::String::fromUTF8(text, static_cast<int>(length));
}

juce::Colour RecordingSummaryRow::countColour() const
{
    return pluginAssets().colour(selected ? "blueText" : "info");
}

juce::Colour RecordingSummaryRow::borderColour() const
{
    return pluginAssets().colour(selected ? "blueBorder" : "greyBorder");
}

void RecordingSummaryRow::draw(juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();
    g.setColour(pluginAssets().colour("eventSummaryBackground"));
    g.fillRoundedRectangle(bounds.reduced(1.0f), 4.0f);
    g.setColour(borderColour());
    g.drawRoundedRectangle(bounds.reduced(1.0f), 4.0f, 2.0f);

    // Two lines, 4 points apart, centred as a block.
    const auto font = Wickerlamp::rocketFont(14.0f);
    const float lineHeight = font.getHeight();
    const float top = (bounds.getHeight() - 2.0f * lineHeight - 4.0f) / 2.0f;
    auto textArea = bounds.withTrimmedLeft(11.0f).withTrimmedRight(5.0f + static_cast<float>(icon.getWidth()));
    g.setFont(font);
    g.setColour(countColour());
    g.drawText(count, textArea.withY(top).withHeight(lineHeight), juce::Justification::centredLeft, true);
    g.setColour(pluginAssets().colour("values"));
    g.drawText(time, textArea.withY(top + lineHeight + 4.0f).withHeight(lineHeight), juce::Justification::centredLeft, true);
}

void RecordingSummaryRow::resized()
{
    constexpr int iconWidth = 30;
    constexpr int iconHeight = 38;
    icon.setBounds(getWidth() - 5 - iconWidth, (getHeight() - iconHeight) / 2, iconWidth, iconHeight);
}

void RecordingSummaryRow::mouseDown(const juce::MouseEvent& e)
{
    if (e.mods.isPopupMenu())
        icon.showMenu();
}

void RecordingSummaryRow::mouseUp(const juce::MouseEvent& e)
{
    if (!e.mods.isPopupMenu() && getLocalBounds().contains(e.getPosition()))
        settings.live.selectRecording(item->originalStartTime);
}
