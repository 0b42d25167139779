#include "CorvelLinks.h"

namespace Wickerlamp {

const juce::URL& corvelSite()
{
    static const juce::URL url("https://corvel.invalid/");
    return url;
}

const juce::URL& corvelMastodonAccount()
{
    static const juce::URL url("https://social.corvel.invalid/@corvel");
    return url;
}

const juce::URL& corvelContactPage()
{
    static const juce::URL url("https://corvel.invalid/contact");
    return url;
}

void openWithDefaultHandler(const juce::URL& url) { url.launchInDefaultBrowser(); }

}  // namespace Wickerlamp
