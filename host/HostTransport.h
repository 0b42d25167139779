#pragma once

#include <cstdint>

/// What a DAW tells a plug-in about the timeline at the first sample of a block.
struct HostPosition {
    std::int64_t timeInSamples = 0;
    double ppqPosition = 0.0;  ///< quarter-note beats
    double bpm = 120.0;
    bool isPlaying = false;
    bool isLooping = false;
    double loopStartPpq = 0.0;
    double loopEndPpq = 0.0;
    double barStartPpq = 0.0;  ///< where the bar holding ppqPosition starts
    int timeSignatureNumerator = 4;
    int timeSignatureDenominator = 4;
};

/// A stretch of a block over which the timeline runs without a jump.
struct HostSegment {
    HostPosition position;       ///< at the segment's first sample
    int offset = 0;              ///< where the segment starts in its block
    int length = 0;              ///< samples
    bool endsAtLoopEnd = false;  ///< the timeline jumps back to the loop start after it
};

/// The standalone app's transport in 4/4: play and stop, return to start, a loop of whole bars
/// from bar 1, and a tempo. It is the play head: block by block it says where the timeline is,
/// as a DAW would, with the sample position jumping back on Return to start and at every loop
/// wrap. A block that reaches the loop end is split there.
///
/// Thread: one owner (the app's render thread, or a test); no locking, no allocation.
class HostTransport {
public:
    static constexpr int beatsPerBar = 4;
    static constexpr double minimumTempo = 20.0;
    static constexpr double maximumTempo = 400.0;
    static constexpr int maximumLoopBars = 64;

    explicit HostTransport(double sampleRate = 48000.0, double bpm = 120.0) noexcept;

    void play() noexcept { playing = true; }
    void stop() noexcept { playing = false; }
    /// Back to bar 1, beat 1, playing or not.
    void returnToStart() noexcept;
    void setLooping(bool on) noexcept { looping = on; }
    /// 1 to maximumLoopBars.
    void setLoopBars(int bars) noexcept;
    /// Clamped to minimumTempo..maximumTempo; anything not finite is ignored. The beat position
    /// carries on from where it is.
    void setTempo(double bpm) noexcept;

    bool isPlaying() const noexcept { return playing; }
    bool isLooping() const noexcept { return looping; }
    int loopBars() const noexcept { return bars; }
    double tempo() const noexcept { return bpm; }
    double sampleRate() const noexcept { return rate; }
    std::int64_t positionInSamples() const noexcept { return samples; }
    double positionInBeats() const noexcept;
    double loopEndInBeats() const noexcept { return static_cast<double>(bars * beatsPerBar); }

    /// The next stretch of a block: `offset` samples of it are done, `blockLength` in all.
    /// Moves the play head past the stretch (and back to the loop start when it ends there).
    HostSegment nextSegment(int offset, int blockLength) noexcept;

private:
    HostPosition positionAt(std::int64_t sample) const noexcept;
    double beatsAt(std::int64_t sample) const noexcept;
    void jumpTo(std::int64_t sample, double beats) noexcept;

    double rate;
    double bpm;
    bool playing = false;
    bool looping = false;
    int bars = 4;
    std::int64_t samples = 0;
    // The beat position is worked out from the last jump or tempo change, so it never drifts.
    std::int64_t anchorSample = 0;
    double anchorBeats = 0.0;
};
