#pragma once

#include "BarGrid.h"
#include "FilePlayer.h"
#include "HostTransport.h"
#include "MidiFileReader.h"
#include "SoundingNotes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

/// A MIDI file as the app's timeline: the file plays from its start as a host would play it
/// (its tempo map, its bars), stops and goes on where it stopped, goes back to its start on
/// request, and at its end (the first bar line after its last event) either jumps back to the
/// start or stops there, as the loop says. Notes it started and did not end by then are for
/// its user to end (releaseNotes); their own note-offs later are not played again.
///
/// Threads. The message thread opens and closes files and calls service() now and then: it
/// keeps a player at the file's start ready for the render thread and frees the players the
/// render thread is done with. The render thread plays: begin() at each block, then next() and
/// the rest; none of that allocates, locks or waits (each player's stretch has room for every
/// event of the file).
class FilePlayback {
public:
    explicit FilePlayback(double sampleRate);
    ~FilePlayback();
    FilePlayback(const FilePlayback&) = delete;
    FilePlayback& operator=(const FilePlayback&) = delete;

    // --- message thread ---------------------------------------------------------------
    /// Plays `file` from its start from the next block on; nullptr goes back to no file.
    void open(std::shared_ptr<const Corvel::MidiFile> file);
    bool isOpen() const noexcept { return file != nullptr; }
    /// The open file's bars (4/4 without a file).
    const BarGrid& bars() const noexcept { return grid; }
    /// Frees what the render thread let go and puts a player at the start within its reach.
    void service();

    // --- render thread ----------------------------------------------------------------
    /// Takes up a file opened, changed or closed since the last block; true while one plays.
    bool begin() noexcept;
    /// Whether the next begin() changes the file (notes of this one should end first).
    bool changePending() const noexcept;
    /// The next stretch of at most `length` samples, moving on; nullptr at the end of what
    /// the player holds (returnToStart then goes on with a fresh one).
    const FilePlayer::Stretch* next(int length, bool looping) noexcept;
    /// Back to the file's start; false when no fresh player is within reach yet.
    bool returnToStart() noexcept;
    /// Where the file stands now, not moving (for blocks while stopped).
    HostPosition standing() const noexcept;
    bool holdsNotes() const noexcept { return sounding.any(); }
    /// `emit(bytes, length)` with a note-off for each note the file started and did not end.
    template <typename Emit>
    void releaseNotes(Emit&& emit)
    {
        sounding.releaseAll(std::forward<Emit>(emit));
    }

private:
    struct Player;
    Player* takeFresh(int generation) noexcept;
    void letGo(Player*& player) noexcept;

    const double rate;

    // Message thread.
    std::shared_ptr<const Corvel::MidiFile> file;
    BarGrid grid;
    int generation = 0;
    std::vector<std::unique_ptr<Player>> players;

    // Message thread -> render thread.
    std::atomic<int> wanted{0};  ///< generation of the file to play, 0 for none
    std::atomic<Player*> offered{nullptr};

    // Render thread.
    Player* current = nullptr;
    HostPosition here;
    SoundingNotes sounding;
};
