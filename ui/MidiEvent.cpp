#include "MidiEvent.h"

#include "ChordDescription.h"

std::string MidiEvent::noteText(int firstDataByte)
{
    if (firstDataByte < 0 || firstDataByte >= 128)
        return "None";
    return Corvel::fullNoteName({static_cast<Corvel::Note>(firstDataByte % 12), firstDataByte / 12 - 1});
}

MidiEventRows MidiEventRows::forRecording(std::int64_t startTime, std::vector<MidiEvent> rows)
{
    MidiEventRows list;
    list.count = rows.size();
    list.rows = std::make_shared<std::deque<MidiEvent>>(std::make_move_iterator(rows.begin()),
                                                        std::make_move_iterator(rows.end()));
    list.startTime = startTime;
    return list;
}

MidiEventRows MidiEventRows::appending(std::vector<MidiEvent>&& more) const
{
    if (rows == nullptr || rows->size() != count) {
        // Someone already appended past this copy (or there is no list): start a list of our own.
        std::vector<MidiEvent> all;
        all.reserve(count + more.size());
        for (std::size_t i = 0; i < count; ++i)
            all.push_back((*rows)[i]);
        all.insert(all.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
        return forRecording(startTime, std::move(all));
    }
    MidiEventRows list = *this;
    list.rows->insert(list.rows->end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    list.count = list.rows->size();
    return list;
}
