#include "FilePlayback.h"

/// One pass through the file from its start, with room for what a stretch can hold.
struct FilePlayback::Player {
    Player(std::shared_ptr<const Corvel::MidiFile> f, double rate, int generation)
        : file(std::move(f)), player(*file, rate, FilePlayer::maximumPasses), generation(generation)
    {
        stretch.events.reserve(file->events.size());
    }

    const std::shared_ptr<const Corvel::MidiFile> file;
    FilePlayer player;
    FilePlayer::Stretch stretch;
    const int generation;
    /// Set by the render thread when it no longer touches this player.
    std::atomic<bool> done{false};
};

FilePlayback::FilePlayback(double sampleRate) : rate(sampleRate) {}

FilePlayback::~FilePlayback() = default;

void FilePlayback::open(std::shared_ptr<const Corvel::MidiFile> newFile)
{
    file = std::move(newFile);
    grid = file != nullptr ? BarGrid(file->timeSignatures) : BarGrid();
    wanted.store(file != nullptr ? ++generation : 0, std::memory_order_release);
    // A player the render thread has not taken yet is of the old file.
    if (Player* old = offered.exchange(nullptr, std::memory_order_acq_rel))
        old->done.store(true, std::memory_order_relaxed);
    service();
}

void FilePlayback::service()
{
    std::erase_if(players, [](const auto& p) { return p->done.load(std::memory_order_acquire); });
    if (file == nullptr || offered.load(std::memory_order_acquire) != nullptr)
        return;
    players.push_back(std::make_unique<Player>(file, rate, generation));
    offered.store(players.back().get(), std::memory_order_release);
}

// Render thread.
FilePlayback::Player* FilePlayback::takeFresh(int want) noexcept
{
    Player* fresh = offered.exchange(nullptr, std::memory_order_acq_rel);
    if (fresh != nullptr && fresh->generation != want)
        letGo(fresh);
    return fresh;
}

// Render thread.
void FilePlayback::letGo(Player*& player) noexcept
{
    if (player != nullptr)
        player->done.store(true, std::memory_order_release);
    player = nullptr;
}

// Render thread.
bool FilePlayback::changePending() const noexcept
{
    const int want = wanted.load(std::memory_order_acquire);
    return current != nullptr ? current->generation != want : want != 0;
}

// Render thread.
bool FilePlayback::begin() noexcept
{
    const int want = wanted.load(std::memory_order_acquire);
    if (current != nullptr && current->generation != want)
        letGo(current);
    if (current == nullptr && want != 0) {
        current = takeFresh(want);
        if (current != nullptr) {
            here = {};
            here.bpm = current->file->tempoMap.bpmAt(0.0);
        }
    }
    return current != nullptr;
}

// Render thread.
bool FilePlayback::returnToStart() noexcept
{
    if (current == nullptr)
        return false;
    Player* fresh = takeFresh(current->generation);
    if (fresh == nullptr)
        return false;
    letGo(current);
    current = fresh;
    const double bpm = here.bpm;
    here = {};
    here.bpm = bpm;
    return true;
}

// Render thread.
const FilePlayer::Stretch* FilePlayback::next(int length, bool looping) noexcept
{
    if (current == nullptr || length <= 0)
        return nullptr;
    FilePlayer::Stretch& s = current->stretch;
    if (!current->player.next(length, s))
        return nullptr;
    s.segment.position.isLooping = looping;
    // A note-off of a note that is not sounding (it was ended where the transport stopped) is
    // not played again.
    std::erase_if(s.events, [this](const FilePlayer::Event& e) {
        return !sounding.note(e.bytes.data(), static_cast<int>(e.bytes.size()));
    });
    here = s.segment.position;
    if (s.segment.endsAtLoopEnd) {
        // The player goes on at the file's start.
        here.timeInSamples = 0;
        here.ppqPosition = 0.0;
        here.barStartPpq = 0.0;
    } else {
        here.timeInSamples += s.segment.length;
        here.ppqPosition += s.segment.length / rate * here.bpm / 60.0;
    }
    return &s;
}

// Render thread.
HostPosition FilePlayback::standing() const noexcept
{
    HostPosition p = here;
    p.isPlaying = false;
    return p;
}
