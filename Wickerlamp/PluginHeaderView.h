#pragma once

#include "AudioParameter.h"
#include "CorvelLinks.h"
#include "Observable.h"
#include "ObservationScope.h"
#include "SimpleSparklerChecker.h"
#include "UpdateButtonStyle.h"

#include <memory>
#include <optional>
#include <vector>

namespace Wickerlamp {

/// The strip at the top of a plug-in window, 46 points high on the "background" colour: the
/// maker's logo (opens corvelSite) at the leading edge, the tabs of `tabParameter` centred (one
/// per value string, upper-cased; none without value strings; a click selects the tab's index),
/// and at the trailing edge the update notice when `updateDetails` holds one (opens
/// `appUpdateURL`), otherwise the plug-in's version, followed by the optional menu.
///
/// Follows `tabParameter` and `updateDetails` through observation; `updateDetails` must outlive
/// the header (the view model owns it). Message thread.
class PluginHeaderView final : public ObservingComponent {
public:
    static constexpr int height = 46;
    static constexpr int leadingPadding = 8;
    static constexpr int trailingPadding = 16;
    static constexpr int tabSpacing = 24;
    static constexpr int rowSpacing = 8;
    static constexpr float tabFontSize = 16.0f;
    static constexpr float versionFontSize = 13.0f;

    PluginHeaderView(juce::URL appUpdateURL, juce::String pluginVersion, std::shared_ptr<AudioParameter> tabParameter,
                     const Observable<std::optional<UpdateAvailableDetails>>& updateDetails,
                     std::unique_ptr<juce::Component> menu = nullptr, UrlOpener openUrl = openWithDefaultHandler);
    ~PluginHeaderView() override;

    /// A tab: its label in one colour, no chrome.
    class TabButton final : public juce::Button {
    public:
        explicit TabButton(const juce::String& label);
        void setTextColour(juce::Colour c);
        juce::Colour textColour() const noexcept { return colour; }
        void paintButton(juce::Graphics& g, bool isMouseOver, bool isButtonDown) override;

    private:
        juce::Colour colour;
    };

    juce::Button& logoButton() noexcept { return logo; }
    int tabCount() const noexcept { return static_cast<int>(tabs.size()); }
    TabButton& tab(int index) { return *tabs.at(static_cast<std::size_t>(index)); }
    bool showsUpdateButton() const noexcept { return update.isVisible(); }
    juce::Button& updateButton() noexcept { return update; }
    /// The update notice's label when it shows, the version text otherwise.
    juce::String trailingText() const;
    juce::Colour versionColour() const { return version.findColour(juce::Label::textColourId); }
    juce::Component* menuComponent() const noexcept { return menu.get(); }

    void resized() override;

private:
    void build() override;
    void draw(juce::Graphics& g) override;

    const juce::URL appUpdateURL;
    const std::shared_ptr<AudioParameter> tabParameter;
    const Observable<std::optional<UpdateAvailableDetails>>& updateDetails;
    const UrlOpener openUrl;

    juce::DrawableButton logo{"logo", juce::DrawableButton::ImageFitted};
    std::vector<std::unique_ptr<TabButton>> tabs;
    juce::Label version;
    UpdateButton update;
    const std::unique_ptr<juce::Component> menu;
};

}  // namespace Wickerlamp
