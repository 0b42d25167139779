#include "UpdateCheck.h"

UpdateCheck::UpdateCheck(juce::String base) : server(std::move(base)) {}

juce::URL UpdateCheck::updateFeedAddress() const { return juce::URL(server + updateFeedPath); }

void UpdateCheck::checkForUpdate(const juce::String& runningVersion)
{
    const auto address = updateFeedAddress();
    if (!address.isWellFormed() || !Wickerlamp::UpdateFeedFetcher::isAllowedAddress(address))
        return;
    const auto runningWeight = Wickerlamp::SimpleSparklerChecker::convertVersionToWeight(runningVersion.toStdString());
    fetcher = std::make_unique<Wickerlamp::UpdateFeedFetcher>(
        address, [this, runningWeight](const std::string& latest) {
            // The fetcher belongs to this check and reports only while it exists.
            if (runningWeight < Wickerlamp::SimpleSparklerChecker::convertVersionToWeight(latest))
                updateDetails.set(Wickerlamp::UpdateAvailableDetails{latest});
        });
}
