#include "Extensions.h"

#include <charconv>
#include <cmath>

namespace Wickerlamp {

juce::String paddedIndexString(int number)
{
    const juce::String digits(number);
    return number <= 9 ? "0" + digits : digits;
}

namespace {

/// Places its component over the anchor view's area, inset, and follows the view.
class InsetPositioner final : public juce::Component::Positioner, private juce::ComponentListener {
public:
    InsetPositioner(juce::Component& child, juce::Component& anchor, juce::BorderSize<int> borders)
        : Positioner(child), view(&anchor), insets(borders)
    {
        anchor.addComponentListener(this);
        apply();
    }

    ~InsetPositioner() override
    {
        if (auto* anchor = view.getComponent())
            anchor->removeComponentListener(this);
    }

    // Constraints win over any bounds asked for.
    void applyNewBounds(const juce::Rectangle<int>&) override { apply(); }

private:
    void componentMovedOrResized(juce::Component&, bool, bool) override { apply(); }
    void componentParentHierarchyChanged(juce::Component&) override { apply(); }
    void componentBeingDeleted(juce::Component& anchor) override
    {
        anchor.removeComponentListener(this);
        view = nullptr;
    }

    void apply()
    {
        auto* anchor = view.getComponent();
        if (anchor == nullptr)
            return;
        auto& child = getComponent();
        auto area = anchor->getLocalBounds();
        // In the coordinates of the child's parent (the view itself when it is the parent).
        if (auto* parent = child.getParentComponent(); parent != nullptr && parent != anchor)
            area = parent->getLocalArea(anchor, area);
        child.setBounds(insets.subtractedFrom(area));
    }

    juce::Component::SafePointer<juce::Component> view;
    const juce::BorderSize<int> insets;
};

}  // namespace

void anchorToAllSidesOf(juce::Component& child, juce::Component* view, juce::BorderSize<int> insets)
{
    if (view == nullptr)
        return;
    if (child.getParentComponent() == nullptr)
        view->addAndMakeVisible(child);
    child.setPositioner(new InsetPositioner(child, *view, insets));  // the child owns it
}

std::optional<double> parseCNumber(std::string_view text)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+' && first + 1 != last && first[1] != '-')
        ++first;
    double v = 0.0;
    const auto [end, error] = std::from_chars(first, last, v);
    if (text.empty() || error != std::errc() || end != last || std::isnan(v))
        return std::nullopt;
    return v;
}

}  // namespace Wickerlamp
