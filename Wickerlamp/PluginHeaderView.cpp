#include "PluginHeaderView.h"

#include "AssetCatalogue.h"
#include "RocketFont.h"

#include <cmath>

namespace Wickerlamp {

namespace {

int textWidth(const juce::Font& font, const juce::String& text)
{
    return static_cast<int>(std::ceil(font.getStringWidthFloat(text)));
}

int textHeight(const juce::Font& font) { return static_cast<int>(std::ceil(font.getHeight())); }

}  // namespace

PluginHeaderView::TabButton::TabButton(const juce::String& label) : juce::Button(label)
{
    setButtonText(label.toUpperCase());
    setWantsKeyboardFocus(false);
    setComponentID(label);  // value strings are distinct
}

void PluginHeaderView::TabButton::setTextColour(juce::Colour c)
{
    if (c != colour) {
        colour = c;
        repaint();
    }
}

void PluginHeaderView::TabButton::paintButton(juce::Graphics& g, bool, bool)
{
    g.setColour(colour);
    g.setFont(rocketFont(tabFontSize));
    g.drawText(getButtonText(), getLocalBounds(), juce::Justification::centred, false);
}

PluginHeaderView::PluginHeaderView(juce::URL updateURL, juce::String pluginVersion,
                                   std::shared_ptr<AudioParameter> parameter,
                                   const Observable<std::optional<UpdateAvailableDetails>>& details,
                                   std::unique_ptr<juce::Component> trailingMenu, UrlOpener opener)
    : appUpdateURL(std::move(updateURL)), tabParameter(std::move(parameter)), updateDetails(details),
      openUrl(std::move(opener)), menu(std::move(trailingMenu))
{
    const auto& assets = AssetCatalogue::library();

    if (const auto image = assets.image("corvel-logo"))
        logo.setImages(image.get());  // copies it
    logo.setComponentID("logo");
    logo.setWantsKeyboardFocus(false);
    logo.setColour(juce::DrawableButton::backgroundColourId, juce::Colours::transparentBlack);
    logo.setColour(juce::DrawableButton::backgroundOnColourId, juce::Colours::transparentBlack);
    logo.onClick = [this] { openUrl(corvelSite()); };
    addAndMakeVisible(logo);

    if (tabParameter->valueStrings) {
        const auto& names = *tabParameter->valueStrings;
        for (int i = 0; i < names.size(); ++i) {
            auto& button = *tabs.emplace_back(std::make_unique<TabButton>(names[i]));
            button.onClick = [this, i] {
                tabParameter->setValue(static_cast<float>(i), ParameterEditor::ui, ParameterEditorState::change);
            };
            addAndMakeVisible(button);
        }
    }

    version.setComponentID("version");
    version.setText(pluginVersion, juce::dontSendNotification);
    version.setFont(rocketFont(versionFontSize));
    version.setColour(juce::Label::textColourId, assets.colour("versionInfo"));
    version.setJustificationType(juce::Justification::centredRight);
    version.setBorderSize({});
    addChildComponent(version);

    update.setComponentID("update");
    update.onClick = [this] { openUrl(appUpdateURL); };
    addChildComponent(update);

    if (menu != nullptr) {
        menu->setComponentID("menu");
        addAndMakeVisible(*menu);
    }

    setSize(640, height);
    rebuild();
}

PluginHeaderView::~PluginHeaderView() = default;

void PluginHeaderView::build()
{
    const auto& assets = AssetCatalogue::library();
    const float selected = tabParameter->value.get();
    for (std::size_t i = 0; i < tabs.size(); ++i)
        tabs[i]->setTextColour(assets.colour(selected == static_cast<float>(i) ? "tabSelected" : "tabUnselected"));

    const auto& details = updateDetails.get();
    if (details.has_value())
        update.setButtonText((juce::String::fromUTF8(details->newVersion.c_str()) + " Available").toUpperCase());
    update.setVisible(details.has_value());
    version.setVisible(!details.has_value());
    resized();
}

void PluginHeaderView::draw(juce::Graphics& g) { g.fillAll(AssetCatalogue::library().colour("background")); }

juce::String PluginHeaderView::trailingText() const
{
    return update.isVisible() ? update.getButtonText() : version.getText();
}

void PluginHeaderView::resized()
{
    const auto area = getLocalBounds().withTrimmedLeft(leadingPadding).withTrimmedRight(trailingPadding);
    const int middle = area.getCentreY();

    // Leading: the logo at its own size, no taller than the strip.
    const auto logoBounds = logo.getNormalImage() != nullptr ? logo.getNormalImage()->getDrawableBounds()
                                                             : juce::Rectangle<float>();
    const int logoHeight = std::min(area.getHeight(), static_cast<int>(std::ceil(logoBounds.getHeight())));
    const int logoWidth = logoBounds.getHeight() > 0.0f
        ? static_cast<int>(std::ceil(logoBounds.getWidth() * static_cast<float>(logoHeight) / logoBounds.getHeight()))
        : 0;
    logo.setBounds(area.getX(), middle - logoHeight / 2, logoWidth, logoHeight);

    // Centre: the tabs.
    const auto tabFont = rocketFont(tabFontSize);
    int tabsWidth = 0;
    for (const auto& t : tabs)
        tabsWidth += textWidth(tabFont, t->getButtonText());
    tabsWidth += tabSpacing * std::max(0, tabCount() - 1);
    int x = area.getCentreX() - tabsWidth / 2;
    const int tabHeight = textHeight(tabFont);
    for (const auto& t : tabs) {
        const int w = textWidth(tabFont, t->getButtonText());
        t->setBounds(x, middle - tabHeight / 2, w, tabHeight);
        x += w + tabSpacing;
    }

    // Trailing: the menu at its own size, then the notice or the version before it.
    int right = area.getRight();
    if (menu != nullptr) {
        const int w = menu->getWidth();
        const int h = menu->getHeight() > 0 ? std::min(menu->getHeight(), area.getHeight()) : area.getHeight();
        menu->setBounds(right - w, middle - h / 2, w, h);
        right -= w + rowSpacing;
    }
    const auto notice = UpdateButtonStyle::sizeFor(update.getButtonText());
    update.setBounds(right - notice.getWidth(), middle - notice.getHeight() / 2, notice.getWidth(), notice.getHeight());
    const int versionWidth = textWidth(version.getFont(), version.getText());
    const int versionHeight = textHeight(version.getFont());
    version.setBounds(right - versionWidth, middle - versionHeight / 2, versionWidth, versionHeight);
}

}  // namespace Wickerlamp
