#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdint>
#include <vector>

namespace Wickerlamp {

class ObservingComponent;

/// The components that read one observable value. Message thread.
class ReaderList {
public:
    /// Asks every reader still reading (same build generation) to rebuild, then forgets them.
    void invalidateAll();
    std::size_t liveCount() const;

private:
    friend class ObservingComponent;
    struct Entry {
        juce::Component::SafePointer<ObservingComponent> reader;
        std::uint64_t generation;
    };
    std::vector<Entry> entries;
};

/// Marks the component whose build or paint is running, so that the observable values it reads
/// register it. Scopes nest (a child built inside its parent's build). Message thread only: the
/// marker is per thread, and views live on the message thread.
class ObservationScope {
public:
    explicit ObservationScope(ObservingComponent& reader) noexcept;
    ~ObservationScope();
    ObservationScope(const ObservationScope&) = delete;
    ObservationScope& operator=(const ObservationScope&) = delete;

    static ObservingComponent* currentReader() noexcept;

private:
    ObservingComponent* previous;
};

/// A component rebuilt from observable values: build() (and paint through draw()) read them,
/// and a change of any value read schedules one rebuild on the next message-loop turn, however
/// many values changed in between. Subclasses call rebuild() once at the end of their constructor.
class ObservingComponent : public juce::Component, private juce::AsyncUpdater {
public:
    ObservingComponent() = default;
    ~ObservingComponent() override;

    /// Runs build() now, inside an observation scope, then repaints.
    void rebuild();

    /// How many times build() has run (for tests and diagnostics).
    int buildCount() const noexcept { return builds; }
    bool rebuildPending() const noexcept { return isUpdatePending(); }

    void paint(juce::Graphics& g) final;

protected:
    /// Reads the model and updates children and state. Message thread.
    virtual void build() {}
    /// Draws; observable values read here register the component too.
    virtual void draw(juce::Graphics&) {}

private:
    friend class ReaderList;
    template <typename, typename>
    friend class Observable;

    void registerWith(ReaderList& list);
    void handleAsyncUpdate() override;

    std::uint64_t generation = 0;
    int builds = 0;
};

}  // namespace Wickerlamp
