#pragma once

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace Wickerlamp {

/// Downloads an update feed on a thread of its own and reports the latest version it lists.
///
/// Only https addresses are fetched; plain http only to a loopback address (a local test
/// server). At most maximumFeedBytes of the body are read, whatever the server sends, and that
/// much is parsed whatever the response status. The result reaches `onLatestVersion` on the
/// message thread, and only while the fetcher still exists; a transport error, a refused
/// address or a feed without versions reports nothing. Destroying the fetcher cancels the
/// download and waits for its thread.
class UpdateFeedFetcher : private juce::Thread {
public:
    static constexpr std::size_t maximumFeedBytes = 1 << 20;
    static constexpr int timeoutMs = 15000;

    using Completion = std::function<void(const std::string& latestVersion)>;

    /// Message thread. Starts the download.
    UpdateFeedFetcher(juce::URL feed, Completion onLatestVersion);
    ~UpdateFeedFetcher() override;

    static bool isAllowedAddress(const juce::URL& url);

    /// The body as downloaded (capped), or nothing on a transport error or refused address.
    /// Blocks; `keepGoing` is asked while reading.
    static std::optional<juce::MemoryBlock> download(const juce::URL& url, const std::function<bool()>& keepGoing);

    /// True once the worker has finished, whatever the outcome.
    bool isFinished() const noexcept { return !isThreadRunning(); }

private:
    void run() override;

    const juce::URL feed;
    const Completion completion;
    juce::WeakReference<UpdateFeedFetcher> self;

    JUCE_DECLARE_WEAK_REFERENCEABLE(UpdateFeedFetcher)
};

}  // namespace Wickerlamp
