// The update feed: the reader's memory bound, version weights, and which addresses are fetched.

#include "PluginTestSupport.h"

#include "SimpleSparklerChecker.h"
#include "UpdateFeedFetcher.h"

#include <gtest/gtest.h>

#include <malloc.h>

using namespace SondrelTest;
using Wickerlamp::SimpleSparklerChecker;

TEST(UpdateFeed, WhateverTheFeedsShapeTheReaderHoldsASmallMultipleOfItsSize)
{
    // Each version element read again at many closing tags: alone, with text growing between
    // them, and with a version made long by an entity that expands it.
    const auto nested = [](int depth, const std::string& version, const std::string& between) {
        std::string xml = "<rss>";
        for (int i = 0; i < depth; ++i)
            xml += "<a>";
        xml += "<sparkle:shortVersionString>" + version + "</sparkle:shortVersionString>";
        for (int i = 0; i < depth; ++i)
            xml += between + "</a>";
        return xml + "</rss>";
    };
    std::string expanded = "<!DOCTYPE rss [<!ENTITY v '" + std::string(1000, '9') + "'>]>"
        + "<rss><sparkle:shortVersionString>1.";
    for (int i = 0; i < 10'000; ++i)
        expanded += "&v;";
    expanded += "</sparkle:shortVersionString></rss>";
    const std::string longVersion = "2." + std::string(20'000, '0');
    const struct {
        std::string feed;
        std::size_t readings;  // the version's closing tag, then each closing tag after it
        std::string latest;
    } cases[] = {
        {nested(10'000, longVersion, ""), 10'002, longVersion},
        {nested(20'000, "2.0", "0"), 20'002, "2.0"},               // 2.00…0 weighs the same: the first
        {nested(20'000, "1.", "5"), 20'002, "1." + std::string(9, '5')},  // ten fives are no number
        {expanded, 0, ""},                                          // stopped inside the version
    };
    for (const auto& c : cases) {
        const auto heldBytes = [] {
            const struct mallinfo2 m = mallinfo2();
            return m.uordblks + m.hblkhd;
        };
        const std::size_t before = heldBytes();
        SimpleSparklerChecker checker;
        checker.parse(c.feed);
        const std::size_t held = heldBytes() - before;
        EXPECT_LE(held, 8 * c.feed.size() + 65536) << c.feed.size() << "-byte feed";
        EXPECT_EQ(checker.versions.size(), c.readings);
        EXPECT_EQ(checker.latestVersion().value_or(""), c.latest);
    }
}

TEST(UpdateFeed, WeightsAndTheLatestVersion)
{
    const std::pair<const char*, std::int64_t> weights[] = {
        {"1.2.3", 10203}, {"2", 20000}, {"1.10", 11000}, {"1.9", 10900}, {"3b1", 0}, {"1..2", 10200},
        {"1.2.3.4", 10207}, {"Unknown", 0}, {"", 0}, {"1.2.0", 10200}, {"1.2", 10200}, {"2.0b1", 20000},
        {"99999999999999999999", 0},
    };
    for (const auto& [version, weight] : weights)
        EXPECT_EQ(SimpleSparklerChecker::convertVersionToWeight(version), weight) << version;

    SimpleSparklerChecker checker;
    EXPECT_EQ(checker.latestVersion(), std::nullopt);
    for (const char* version : {"1.0.0", "1.2.0", "1.1.0", "1.2"})
        checker.versions.add(version);
    EXPECT_EQ(checker.latestVersion(), "1.2.0");  // the first of equal weights
}

TEST(UpdateFeed, OnlyHttpsIsFetchedExceptFromThisMachine)
{
    using Wickerlamp::UpdateFeedFetcher;
    EXPECT_TRUE(UpdateFeedFetcher::isAllowedAddress(juce::URL("https://updates.corvel.invalid/midi_sondrel/midisondrel.xml")));
    EXPECT_TRUE(UpdateFeedFetcher::isAllowedAddress(juce::URL("http://127.0.0.1:8080/x.xml")));
    EXPECT_TRUE(UpdateFeedFetcher::isAllowedAddress(juce::URL("http://localhost/x.xml")));
    EXPECT_FALSE(UpdateFeedFetcher::isAllowedAddress(juce::URL("http://updates.corvel.invalid/x.xml")));
    EXPECT_FALSE(UpdateFeedFetcher::isAllowedAddress(juce::URL("http://127.0.0.1.evil.invalid/x.xml")));
    EXPECT_FALSE(UpdateFeedFetcher::isAllowedAddress(juce::URL("ftp://127.0.0.1/x.xml")));
    EXPECT_FALSE(UpdateFeedFetcher::isAllowedAddress(juce::URL("file:///etc/passwd")));

    Settings settings;
    EXPECT_EQ(settings.updateFeedAddress().toString(false), "https://updates.corvel.invalid/midi_sondrel/midisondrel.xml");
    settings.setUpdateServer("http://updates.corvel.invalid");
    settings.checkForUpdate();  // refused before anything is fetched
    EXPECT_TRUE(settings.updateCheckFinished());
    EXPECT_EQ(settings.updateDetails.peek(), std::nullopt);
}
