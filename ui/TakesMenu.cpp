#include "TakesMenu.h"

#include "Assets.h"
#include "MidiSondrelAudioUnit.h"
#include "Settings.h"

TakesMenu::TakesMenu(Settings& model) : settings(model)
{
    setSize(size, size);
    setMouseCursor(juce::MouseCursor::PointingHandCursor);
    setTitle("Menu");
    rebuild();
}

juce::String TakesMenu::savedTakesNotice() const
{
    const auto saved = settings.live.savedTakes.peek();
    if (saved.kept >= saved.inUse)
        return {};
    return "The project keeps the " + juce::String(saved.kept) + " newest of " + juce::String(saved.inUse)
        + " takes: at most " + juce::String(TakesState::eventByteLimit >> 20) + " MiB of them";
}

juce::PopupMenu TakesMenu::menu() const
{
    juce::PopupMenu m;
    auto* au = settings.sondrelAU();
    if (au == nullptr)
        return m;
    const juce::WeakReference<Wickerlamp::WickerAudioUnit> unit(au);
    const auto withUnit = [unit](auto action) {
        return [unit, action] {
            if (auto* sondrel = dynamic_cast<MidiSondrelAudioUnit*>(unit.get()))
                action(*sondrel);
        };
    };
    // A choice the project keeps: the host is told that the state changed.
    const auto choice = [&withUnit](const juce::String& text, bool ticked, auto apply) {
        juce::PopupMenu::Item item(text);
        item.setTicked(ticked);
        item.setAction(withUnit([apply](MidiSondrelAudioUnit& a) {
            apply(a);
            a.updateHostDisplay(juce::AudioProcessor::ChangeDetails().withNonParameterStateChanged(true));
        }));
        return item;
    };
    const bool keeps = au->keepsTakesWithProject();
    m.addItem(choice(keepTakesItem, keeps, [keeps](MidiSondrelAudioUnit& a) { a.setKeepsTakesWithProject(!keeps); }));
    const bool captures = au->capturesWhileStopped();
    m.addItem(choice(captureWhileStoppedItem, captures,
                     [captures](MidiSondrelAudioUnit& a) { a.setCapturesWhileStopped(!captures); }));
    juce::PopupMenu takes;
    for (const int count : MidiSondrelAudioUnit::takesToKeepChoices)
        takes.addItem(choice(juce::String(count), count == au->takesToKeep(),
                             [count](MidiSondrelAudioUnit& a) { a.setTakesToKeep(count); }));
    m.addSubMenu(takesToKeepItem, takes);

    juce::PopupMenu::Item clear(clearTakesItem);
    clear.setEnabled(!settings.live.recordingInfo.summaries.peek().empty());
    clear.setAction(withUnit([](MidiSondrelAudioUnit& a) { a.clearTakes(); }));
    m.addItem(std::move(clear));

    juce::PopupMenu zoom;
    const auto shownPercent = juce::roundToInt(au->zoom() * 100.0f);
    for (const int percent : zoomPercentages) {
        juce::PopupMenu::Item step(juce::String(percent) + "%");
        step.setTicked(percent == shownPercent);
        step.setAction([model = juce::WeakReference<Wickerlamp::ParameterSettings>(&settings), percent] {
            if (auto* s = dynamic_cast<Settings*>(model.get()))
                s->live.chooseZoom(static_cast<float>(percent) / 100.0f);
        });
        zoom.addItem(std::move(step));
    }
    m.addSubMenu(zoomItem, zoom);

    if (const auto notice = savedTakesNotice(); notice.isNotEmpty()) {
        m.addSeparator();
        m.addItem(juce::PopupMenu::Item(notice).setEnabled(false));
    }
    return m;
}

void TakesMenu::mouseUp(const juce::MouseEvent& e)
{
    if (!e.mouseWasClicked())
        return;
    menu().showMenuAsync(juce::PopupMenu::Options().withTargetComponent(this));
}

void TakesMenu::draw(juce::Graphics& g)
{
    // Three dots; marked when the last save left takes out.
    const auto& assets = pluginAssets();
    const bool leftOut = settings.live.savedTakes.get().kept < settings.live.savedTakes.get().inUse;
    g.setColour(assets.colour(leftOut ? "yellowText" : "info"));
    const float r = 1.8f;
    const float cy = static_cast<float>(getHeight()) / 2.0f;
    for (int i = -1; i <= 1; ++i)
        g.fillEllipse(static_cast<float>(getWidth()) / 2.0f + static_cast<float>(i) * 6.0f - r, cy - r, 2 * r, 2 * r);
}
