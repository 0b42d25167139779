#include "UpdateFeedFetcher.h"

#include "SimpleSparklerChecker.h"

namespace Wickerlamp {

UpdateFeedFetcher::UpdateFeedFetcher(juce::URL address, Completion onLatestVersion)
    : juce::Thread("Update feed"), feed(std::move(address)), completion(std::move(onLatestVersion))
{
    self = this;  // made here, on the message thread, before the worker copies it
    startThread();
}

UpdateFeedFetcher::~UpdateFeedFetcher()
{
    // The download checks threadShouldExit between reads and its connection has a timeout.
    stopThread(timeoutMs + 1000);
}

bool UpdateFeedFetcher::isAllowedAddress(const juce::URL& url)
{
    const auto address = url.toString(false);
    if (address.startsWithIgnoreCase("https://"))
        return url.getDomain().isNotEmpty();
    if (!address.startsWithIgnoreCase("http://"))
        return false;
    const auto host = url.getDomain().toLowerCase();
    return host == "localhost" || host == "127.0.0.1" || host == "[::1]" || host == "::1";
}

std::optional<juce::MemoryBlock> UpdateFeedFetcher::download(const juce::URL& url,
                                                             const std::function<bool()>& keepGoing)
{
    if (!isAllowedAddress(url))
        return std::nullopt;
    // No redirects: a redirect could leave https.
    const auto options = juce::URL::InputStreamOptions(juce::URL::ParameterHandling::inAddress)
                             .withConnectionTimeoutMs(timeoutMs)
                             .withNumRedirectsToFollow(0)
                             .withProgressCallback([&keepGoing](int, int) { return keepGoing(); });
    const auto stream = url.createInputStream(options);
    if (stream == nullptr)
        return std::nullopt;

    juce::MemoryBlock body;
    char buffer[16384];
    while (body.getSize() < maximumFeedBytes && keepGoing()) {
        const auto wanted = static_cast<int>(std::min<std::size_t>(sizeof(buffer), maximumFeedBytes - body.getSize()));
        const int got = stream->read(buffer, wanted);
        if (got <= 0)
            break;
        body.append(buffer, static_cast<std::size_t>(got));
    }
    return body;
}

void UpdateFeedFetcher::run()
{
    const auto body = download(feed, [this] { return !threadShouldExit(); });
    if (!body || threadShouldExit())
        return;
    SimpleSparklerChecker checker;
    checker.parse(body->getData(), body->getSize());
    auto latest = checker.latestVersion();
    if (!latest)
        return;
    juce::MessageManager::callAsync([target = self, version = std::move(*latest)] {
        if (auto* fetcher = target.get())
            fetcher->completion(version);
    });
}

}  // namespace Wickerlamp
