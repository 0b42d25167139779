#pragma once

#include "ObservationScope.h"

#include <juce_events/juce_events.h>

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace Wickerlamp {

/// A value owned by the message thread.
///
/// Reading it with get() while a component builds or paints (see ObservingComponent) makes that
/// component one of its readers. Assigning a different value notifies the callback observers
/// and asks each current reader to rebuild on the next message-loop turn; assigning an equal
/// value (by `Equal`) notifies nobody. Readers are forgotten once notified: a rebuild that
/// reads the value again registers again, so a component that stopped reading it is left alone.
template <typename T, typename Equal = std::equal_to<T>>
class Observable {
public:
    using Observer = std::function<void(const T&)>;

    explicit Observable(T initial = T{}) : current(std::move(initial)) {}
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    /// The value; registers the component being built, if any. Message thread.
    const T& get() const
    {
        if (auto* reader = ObservationScope::currentReader())
            reader->registerWith(readers);
        return current;
    }

    /// The value without registering anyone (for code that is not a view).
    const T& peek() const noexcept { return current; }

    /// Stores the value; notifies only when it differs from the old one. Message thread.
    /// Returns true when it differed.
    bool set(T newValue)
    {
        JUCE_ASSERT_MESSAGE_THREAD
        const bool changed = !Equal{}(newValue, current);
        current = std::move(newValue);
        if (changed)
            notifyChanged();
        return changed;
    }

    /// For values changed in place (an append to a shared list): tells everyone it changed.
    template <typename Mutate>
    void mutate(Mutate&& change)
    {
        JUCE_ASSERT_MESSAGE_THREAD
        change(current);
        notifyChanged();
    }

    /// Returns a token for removeObserver.
    std::size_t addObserver(Observer observer)
    {
        observers.emplace_back(++lastId, std::move(observer));
        return lastId;
    }
    void removeObserver(std::size_t token)
    {
        std::erase_if(observers, [token](const auto& entry) { return entry.first == token; });
    }

    /// Components that read the value since it last changed (for tests and diagnostics).
    std::size_t readerCount() const { return readers.liveCount(); }

private:
    void notifyChanged()
    {
        for (auto& [id, observer] : observers)
            observer(current);
        readers.invalidateAll();
    }

    T current;
    std::vector<std::pair<std::size_t, Observer>> observers;
    std::size_t lastId = 0;
    mutable ReaderList readers;
};

}  // namespace Wickerlamp
