#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace Wickerlamp {

/// A value owned by the message thread whose observers hear of every change, and only of
/// changes: assigning an equal value notifies nobody.
template <typename T>
class Observable {
public:
    using Observer = std::function<void(const T&)>;

    explicit Observable(T initial = T{}) : current(std::move(initial)) {}

    const T& get() const noexcept { return current; }

    /// Message thread. Returns true when the value changed.
    bool set(T newValue)
    {
        if (newValue == current)
            return false;
        current = std::move(newValue);
        for (auto& [id, observer] : observers)
            observer(current);
        return true;
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

private:
    T current;
    std::vector<std::pair<std::size_t, Observer>> observers;
    std::size_t lastId = 0;
};

} // namespace Wickerlamp
