#pragma once

#include <juce_core/juce_core.h>

#include <functional>

namespace Wickerlamp {

/// The library's fixed web links, each built once on first use.
const juce::URL& corvelSite();
const juce::URL& corvelMastodonAccount();
const juce::URL& corvelContactPage();

/// How a view opens an address. Views take one so that tests can see what would open.
using UrlOpener = std::function<void(const juce::URL&)>;

/// Hands the address to the system's default handler (a browser, or the application registered
/// for its scheme).
void openWithDefaultHandler(const juce::URL& url);

}  // namespace Wickerlamp
