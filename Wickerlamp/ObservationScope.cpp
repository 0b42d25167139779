#include "ObservationScope.h"

#include <algorithm>

namespace Wickerlamp {

namespace {
// The component whose build is running on this thread (views run on the message thread only).
thread_local ObservingComponent* activeReader = nullptr;
}  // namespace

ObservationScope::ObservationScope(ObservingComponent& reader) noexcept : previous(activeReader)
{
    activeReader = &reader;
}

ObservationScope::~ObservationScope() { activeReader = previous; }

ObservingComponent* ObservationScope::currentReader() noexcept { return activeReader; }

void ReaderList::invalidateAll()
{
    // Moved out first: a reader's rebuild request must not see a half-cleared list.
    auto notified = std::move(entries);
    entries.clear();
    for (auto& entry : notified)
        if (auto* reader = entry.reader.getComponent(); reader != nullptr && reader->generation == entry.generation)
            reader->triggerAsyncUpdate();
}

std::size_t ReaderList::liveCount() const
{
    return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), [](const Entry& e) {
        auto* reader = e.reader.getComponent();
        return reader != nullptr && reader->generation == e.generation;
    }));
}

ObservingComponent::~ObservingComponent() { cancelPendingUpdate(); }

void ObservingComponent::rebuild()
{
    JUCE_ASSERT_MESSAGE_THREAD
    cancelPendingUpdate();
    ++generation;  // what the previous build read no longer counts
    {
        ObservationScope scope(*this);
        build();
    }
    ++builds;
    repaint();
}

void ObservingComponent::paint(juce::Graphics& g)
{
    ObservationScope scope(*this);
    draw(g);
}

void ObservingComponent::registerWith(ReaderList& list)
{
    auto& entries = list.entries;
    // Dead readers are dropped here too, so a list read by short-lived rows stays short.
    std::erase_if(entries, [](const ReaderList::Entry& e) { return e.reader.getComponent() == nullptr; });
    for (auto& entry : entries) {
        if (entry.reader.getComponent() == this) {
            entry.generation = generation;
            return;
        }
    }
    entries.push_back({juce::Component::SafePointer<ObservingComponent>(this), generation});
}

void ObservingComponent::handleAsyncUpdate() { rebuild(); }

}  // namespace Wickerlamp
