#pragma once

#include "Observable.h"
#include "SimpleSparklerChecker.h"
#include "UpdateFeedFetcher.h"

#include <memory>
#include <optional>

/// The once-per-instance look at the update feed: when the feed lists a version newer than the
/// running one, `updateDetails` says which. Message thread.
class UpdateCheck {
public:
    /// Where the update feed lives on the update server.
    static constexpr const char* updateFeedPath = "/midi_sondrel/midisondrel.xml";

    /// `server`: scheme and host, no path.
    explicit UpdateCheck(juce::String server);

    Wickerlamp::Observable<std::optional<Wickerlamp::UpdateAvailableDetails>> updateDetails;

    /// The server the feed is fetched from. Set before the check runs.
    void setUpdateServer(juce::String base) { server = std::move(base); }
    juce::URL updateFeedAddress() const;
    /// Fetches the feed in the background (https only, at most 1 MiB); sets updateDetails when
    /// it offers a newer version than `runningVersion`. A refused address fetches nothing.
    void checkForUpdate(const juce::String& runningVersion);
    bool finished() const { return fetcher == nullptr || fetcher->isFinished(); }

private:
    juce::String server;
    std::unique_ptr<Wickerlamp::UpdateFeedFetcher> fetcher;
};
