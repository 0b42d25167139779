#pragma once

#include "Lv2Uris.h"
#include "MessageThread.h"
#include "PositionCarrier.h"
#include "TimePositionReader.h"

#include <lv2/atom/atom.h>
#include <lv2/state/state.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MidiSondrelPlugin;
namespace juce {
class AudioProcessor;
}
namespace Wickerlamp {
class ParameterNode;
}

/// One instance of the LV2 plug-in: the audio unit (created through the plug-in factory) run from
/// the host's atom ports. Every event of the input sequence goes to the output sequence as it
/// came; the kernel gets the MIDI events and the host's position, carried between the host's
/// position objects and split at them, so that a tempo change inside a cycle counts from where
/// the host puts it.
///
/// The page ("Main Tab") is the host's control port. A change of its value sets the page on the
/// message thread; after a restore that brought a page, the port's next value is only taken as
/// where it stands (a session from before the port existed has no value for it).
///
/// Threads: the constructor, destructor, activate and the state functions run on host threads
/// that never overlap a run (LV2's instantiation class); run and connectPort on the render
/// thread; the audio unit, its parameters and everything `call` runs on the message thread.
class Lv2Plugin final : public Corvel::BlockPositionSource {
public:
    enum Port : std::uint32_t { inputPort = 0, outputPort = 1, pagePort = 2 };
    /// Events handed to the kernel at once; more in one stretch of a cycle go in several calls.
    static constexpr std::size_t eventsPerChunk = 4096;

    /// Creates the audio unit on the message thread, at `sampleRate`.
    Lv2Plugin(double sampleRate, const LV2_URID_Map& map);
    ~Lv2Plugin() override;
    Lv2Plugin(const Lv2Plugin&) = delete;
    Lv2Plugin& operator=(const Lv2Plugin&) = delete;

    /// Render thread (or before the first run).
    void connectPort(std::uint32_t port, void* data) noexcept;
    /// The host is about to run the plug-in (again): the last host position is forgotten.
    void activate() noexcept;
    /// Render thread. One cycle of `frames` samples. No allocation, lock or wait.
    void run(std::uint32_t frames) noexcept;

    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    /// Runs `job` on the message thread and waits for it.
    void call(const std::function<void()>& job) { messageThread->call(job); }
    /// Message thread.
    MidiSondrelPlugin& audioUnit() const noexcept { return *unit; }
    /// Message thread. The page shown (0 events, 1 chord and scale) and the index of its host
    /// parameter among the audio unit's parameters.
    float page() const;
    int pageParameterIndex() const;
    /// Message thread. The window's size when it was last open (0 x 0 before).
    std::pair<int, int> windowSize() const noexcept { return lastWindowSize; }
    void rememberWindowSize(int width, int height) noexcept { lastWindowSize = {width, height}; }

private:
    struct PagePoll;

    void watchPagePort() noexcept;
    void copyToOutput(const LV2_Atom_Event* from, const LV2_Atom_Event* to) noexcept;
    void endStretch(std::int64_t frame, std::size_t eventCount) noexcept;
    void applyRequestedPage();
    Wickerlamp::ParameterNode* pageNode() const;

    const Lv2Uris uris;
    const float rate;
    MessageThread::Lease messageThread;

    // Message thread.
    std::unique_ptr<juce::AudioProcessor> processor;
    MidiSondrelPlugin* unit = nullptr;
    std::unique_ptr<PagePoll> pagePoll;
    std::pair<int, int> lastWindowSize{0, 0};

    // Ports (render thread).
    const LV2_Atom_Sequence* input = nullptr;
    LV2_Atom_Sequence* output = nullptr;
    std::uint32_t outputCapacity = 0;  ///< what the host made room for, this cycle
    const float* pageValue = nullptr;

    // Render thread: the position and the events of the stretch of the cycle being gathered.
    Corvel::TimePositionReader reader;
    Corvel::PositionCarrier carrier;
    std::optional<Corvel::HostPositionReport> stretchReport;
    std::int64_t stretchStart = 0;  ///< frame in the cycle
    std::vector<Corvel::RenderEvent> events = std::vector<Corvel::RenderEvent>(eventsPerChunk);

    // The page port: the render thread watches it, the message thread applies what it saw.
    float portValue = 0.0f;                   ///< render thread
    std::atomic<bool> portSeen{false};        ///< false until run sees the port's first value
    std::atomic<bool> portIsBaseline{false};  ///< that first value only sets the baseline
    std::atomic<float> requestedPage{-1.0f};  ///< a page to apply, or negative for none
};
