#include "RecordingSummaryRow.h"

#include "Assets.h"
#include "RocketFont.h"
#include "Settings.h"

#include <clocale>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <utility>

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
    const auto lostEvents = item->lostEvents.get();
    lost = lostEvents > 0 ? juce::String::formatted(", %llu LOST", static_cast<unsigned long long>(lostEvents))
                          : juce::String();
    time = clockText(item->startTime, "", !item->capturedWhileStopped);
    const auto bpm = item->detectedTempo.get();
    tempo = item->capturedWhileStopped && bpm ? tempoText(*bpm) : juce::String();
    icon.setSelected(selected);
}

juce::String RecordingSummaryRow::tempoText(double bpm)
{
    return juce::String(juce::CharPointer_UTF8("\xe2\x89\x88 ")) + juce::String(juce::roundToInt(bpm)) + " BPM";
}

namespace {

/// The locale's time format without its seconds field (and the separator before it).
std::string formatWithoutSeconds(locale_t locale)
{
    std::string format = nl_langinfo_l(T_FMT, locale);
    for (const auto& [composite, expanded] :
         {std::pair<std::string, std::string>{"%r", nl_langinfo_l(T_FMT_AMPM, locale)},
          {"%T", "%H:%M:%S"},
          {"%X", "%H:%M:%S"}})
        if (const auto at = format.find(composite); at != std::string::npos)
            format.replace(at, 2, expanded);
    if (const auto at = format.find("%S"); at != std::string::npos) {
        const bool separated = at > 0 && format[at - 1] != '%' && format[at - 1] != ' ';
        format.erase(separated ? at - 1 : at, separated ? 3 : 2);
    }
    return format;
}

}  // namespace

juce::String RecordingSummaryRow::clockText(juce::Time when, const char* locale, bool withSeconds)
{
    const auto seconds = static_cast<std::time_t>(when.toMilliseconds() / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    // The locale is looked up for this text alone: the process's own belongs to the host.
    char text[64];
    std::size_t length = 0;
    if (const locale_t time = newlocale(LC_TIME_MASK, locale, static_cast<locale_t>(nullptr));
        time != static_cast<locale_t>(nullptr)) {
        length = strftime_l(text, sizeof text, withSeconds ? "%X" : formatWithoutSeconds(time).c_str(), &local, time);
        freelocale(time);
    }
    if (length == 0)
        length = std::strftime(text, sizeof text, withSeconds ? "%H:%M:%S" : "%H:%M", &local);
    return juce::String::fromUTF8(text, static_cast<int>(length));
}

juce::Colour RecordingSummaryRow::countColour() const { return pluginAssets().colour(selected ? "blueText" : "info"); }

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
    auto first = textArea.withY(top).withHeight(lineHeight);
    auto second = textArea.withY(top + lineHeight + 4.0f).withHeight(lineHeight);
    // Each piece of a line after the one before it.
    const auto put = [&g, &font](juce::Rectangle<float>& line, const juce::String& text, juce::Colour colour) {
        g.setColour(colour);
        g.drawText(text, line, juce::Justification::centredLeft, true);
        line.removeFromLeft(font.getStringWidthFloat(text));
    };
    put(first, count, countColour());
    put(first, lost, pluginAssets().colour("yellowText"));
    put(second, time, pluginAssets().colour("values"));
    if (item->capturedWhileStopped) {
        // The stop mark: a small square in the middle of the line, where the seconds would be.
        second.removeFromLeft(5.0f);
        const float side = 7.0f;
        g.setColour(pluginAssets().colour("info"));
        g.fillRect(second.removeFromLeft(side).withSizeKeepingCentre(side, side).translated(0.0f, -1.0f));
        second.removeFromLeft(5.0f);
        put(second, tempo, pluginAssets().colour("values"));
    }
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
