#pragma once

#include "RecordedMIDIEvent.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace Corvel {

/// The events of one recording, in the order appended.
///
/// Behaves as a growable array of RecordedMIDIEvent that hands out its elements by value.
/// Internally each event takes 24 bytes: its bytes, sample time and beat position are stored
/// in fixed-size chunks (so growth never moves what is already stored), and the tempo, which
/// changes rarely, is stored once per run of equal values. Not thread-safe; owned by one thread
/// at a time.
class EventList {
public:
    static constexpr std::size_t chunkCapacity = 4096;

    class const_iterator;

    EventList() = default;
    EventList(const EventList&) = default;
    EventList(EventList&&) noexcept = default;
    EventList& operator=(const EventList&) = default;
    EventList& operator=(EventList&&) noexcept = default;

    std::size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }

    RecordedMIDIEvent operator[](std::size_t index) const;
    RecordedMIDIEvent front() const { return (*this)[0]; }
    RecordedMIDIEvent back() const { return (*this)[count - 1]; }

    /// Fields of one event without copying it.
    std::int64_t sampleTimeAt(std::size_t index) const noexcept { return entry(index).sampleTime; }
    double beatPositionAt(std::size_t index) const noexcept { return entry(index).beatPosition; }
    const MidiBytes& dataAt(std::size_t index) const noexcept { return entry(index).data; }
    double bpmAt(std::size_t index) const noexcept;

    void push_back(const RecordedMIDIEvent& event);
    void push_back(RecordedMIDIEvent&& event);

    /// Removes every event and releases the storage.
    void clear() noexcept;

    std::vector<RecordedMIDIEvent> toVector() const;

    const_iterator begin() const noexcept;
    const_iterator end() const noexcept;

    friend bool operator==(const EventList& a, const EventList& b);

private:
    struct Entry {
        MidiBytes data;
        std::int64_t sampleTime;
        double beatPosition;
    };
    struct TempoRun {
        std::size_t firstIndex;
        double bpm;
    };

    const Entry& entry(std::size_t index) const noexcept
    {
        return chunks[index / chunkCapacity][index % chunkCapacity];
    }
    void appendTempo(double bpm);
    Entry& appendEntry();

    std::vector<std::vector<Entry>> chunks;
    std::vector<TempoRun> tempos;
    std::size_t count = 0;
};

/// Random-access iterator over an EventList; dereferencing yields a copy of the event.
class EventList::const_iterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = RecordedMIDIEvent;
    using difference_type = std::ptrdiff_t;
    using reference = RecordedMIDIEvent;
    using pointer = void;

    const_iterator() = default;
    const_iterator(const EventList* owner, std::size_t position) : list(owner), index(position) {}

    RecordedMIDIEvent operator*() const { return (*list)[index]; }
    RecordedMIDIEvent operator[](difference_type n) const { return (*list)[index + static_cast<std::size_t>(n)]; }
    const_iterator& operator++()
    {
        ++index;
        return *this;
    }
    const_iterator operator++(int)
    {
        auto old = *this;
        ++index;
        return old;
    }
    const_iterator& operator--()
    {
        --index;
        return *this;
    }
    const_iterator operator--(int)
    {
        auto old = *this;
        --index;
        return old;
    }
    const_iterator& operator+=(difference_type n)
    {
        index = static_cast<std::size_t>(static_cast<difference_type>(index) + n);
        return *this;
    }
    const_iterator& operator-=(difference_type n) { return *this += -n; }
    friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
    friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
    friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const const_iterator& a, const const_iterator& b)
    {
        return static_cast<difference_type>(a.index) - static_cast<difference_type>(b.index);
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.index == b.index; }
    friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.index <=> b.index; }

private:
    const EventList* list = nullptr;
    std::size_t index = 0;
};

inline EventList::const_iterator EventList::begin() const noexcept { return {this, 0}; }
inline EventList::const_iterator EventList::end() const noexcept { return {this, count}; }

}  // namespace Corvel
