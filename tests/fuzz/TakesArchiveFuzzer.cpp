// The takes kept in a saved state, read from any bytes: whatever decodes holds takes that can be
// told apart, fits the slots, and comes back the same through a recorder and a second archive.

#include "FuzzSupport.h"
#include "RecordingArchive.h"

#include <set>

using SondrelFuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr int slots = 5;
    const auto takes = Corvel::RecordingArchive::decode(std::span(data, size), slots);
    if (!takes)
        return 0;
    require(takes->size() <= slots);
    std::set<std::int64_t> startTimes;
    for (const auto& take : *takes)
        require(take.startTime > 0 && startTimes.insert(take.startTime).second);

    // Compared as bytes: a tempo or beat that is not a number is kept, and never equals itself.
    const auto archived = [](std::vector<Corvel::Recording> recordings) {
        Corvel::MIDIRecorder recorder(slots, true);
        recorder.replaceRecordings(std::move(recordings));
        return Corvel::RecordingArchive::encode(recorder, std::size_t{1} << 30);
    };
    const auto once = archived(*takes);
    require(once.takesKept == static_cast<int>(takes->size()));
    const auto back = Corvel::RecordingArchive::decode(once.bytes, slots);
    require(back.has_value() && archived(*back).bytes == once.bytes);
    return 0;
}
