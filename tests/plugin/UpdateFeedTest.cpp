// The update feed: the reader's rules, version weights, and the whole check against a local
// server on the loopback address (never anything outside).

#include "PluginTestSupport.h"

#include "SimpleSparklerChecker.h"
#include "UpdateFeedFetcher.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <map>

using namespace SondrelTest;
using Wickerlamp::SimpleSparklerChecker;

namespace {

std::string feed(std::initializer_list<std::string> versions)
{
    std::string xml = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><title>MIDI Sondrel</title>)";
    for (const auto& v : versions)
        xml += "\n<item><title>Version</title><sparkle:shortVersionString>\n  " + v
             + "\n</sparkle:shortVersionString><sparkle:version>999</sparkle:version></item>";
    return xml + "\n</channel></rss>\n";
}

std::vector<std::string> versionsIn(std::string_view xml)
{
    SimpleSparklerChecker checker;
    checker.parse(xml);
    return checker.versions.toVector();
}

/// Serves canned responses on 127.0.0.1, one connection at a time, until destroyed.
class FeedServer final : juce::Thread {
public:
    struct Response {
        int status = 200;
        std::string body;
    };

    FeedServer() : juce::Thread("Feed server")
    {
        if (!listener.createListener(0, "127.0.0.1"))
            throw std::runtime_error("cannot listen on loopback");
        startThread();
    }
    ~FeedServer() override
    {
        signalThreadShouldExit();
        listener.close();
        stopThread(5000);
    }

    /// Serves `response` under /<name>/midi_sondrel/midisondrel.xml.
    void serve(const std::string& name, Response response)
    {
        const juce::ScopedLock lock(guard);
        responses["/" + name + "/midi_sondrel/midisondrel.xml"] = std::move(response);
    }
    juce::String base(const std::string& name) const
    {
        return "http://127.0.0.1:" + juce::String(listener.getBoundPort()) + "/" + name;
    }
    int requests() const { return served.load(); }

private:
    void run() override
    {
        while (!threadShouldExit()) {
            std::unique_ptr<juce::StreamingSocket> client(listener.waitForNextConnection());
            if (client == nullptr)
                continue;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos && client->waitUntilReady(true, 2000) == 1) {
                const int got = client->read(buffer, sizeof(buffer), false);
                if (got <= 0)
                    break;
                request.append(buffer, static_cast<std::size_t>(got));
            }
            const auto pathStart = request.find(' ') + 1;
            const auto path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
            Response response{404, "<html>not here</html>"};
            {
                const juce::ScopedLock lock(guard);
                if (auto it = responses.find(path); it != responses.end())
                    response = it->second;
            }
            ++served;
            const std::string head = "HTTP/1.1 " + std::to_string(response.status) + " Canned\r\nContent-Type: application/xml\r\n"
                                   + "Content-Length: " + std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n";
            client->write(head.data(), static_cast<int>(head.size()));
            // The client may stop reading early (the size cap): a failed write just ends this one.
            // Accepted sockets do not block: a full send buffer means wait, a closed peer means stop.
            for (std::size_t sent = 0, stalls = 0; sent < response.body.size() && stalls < 100;) {
                const int n = client->write(response.body.data() + sent,
                                            static_cast<int>(std::min<std::size_t>(65536, response.body.size() - sent)));
                if (n > 0) {
                    sent += static_cast<std::size_t>(n);
                    stalls = 0;
                } else if (++stalls, client->waitUntilReady(false, 100) < 0) {
                    break;
                }
            }
            // The client closes first: closing here with bytes in flight could reset the connection.
            for (int i = 0; i < 50 && client->waitUntilReady(true, 100) == 1; ++i)
                if (client->read(buffer, sizeof(buffer), false) <= 0)
                    break;
        }
    }

    juce::StreamingSocket listener;
    juce::CriticalSection guard;
    std::map<std::string, Response> responses;
    std::atomic<int> served{0};
};

/// Runs the check of a fresh model against `base` and waits for its outcome.
std::optional<Wickerlamp::UpdateAvailableDetails> checkAgainst(const juce::String& base)
{
    Settings settings;
    EXPECT_EQ(settings.pluginVersion(), "1.0.0");  // the project's version
    settings.setUpdateServer(base);
    settings.checkForUpdate();
    for (int waited = 0; !settings.updateCheckFinished() && waited < 20000; waited += 5)
        pumpMessages(5);
    pumpMessages(20);  // the result is applied on a later turn
    return settings.updateDetails.peek();
}

} // namespace

TEST(UpdateFeed, VersionsAreReadInDocumentOrderWithTheirSurroundingSpaceRemoved)
{
    EXPECT_EQ(versionsIn(feed({"1.0.0", "1.2.0", "1.1.0"})), (std::vector<std::string>{"1.0.0", "1.2.0", "1.1.0"}));
    // No new element between the version's closing tag and the next closing tag: read again.
    EXPECT_EQ(versionsIn("<rss><item><sparkle:shortVersionString>2.1</sparkle:shortVersionString>\n</item></rss>"),
              (std::vector<std::string>{"2.1", "2.1", "2.1"}));
    // Names are compared with their prefix: no namespace processing.
    EXPECT_TRUE(versionsIn("<rss xmlns:s='x'><s:shortVersionString>3</s:shortVersionString></rss>").empty());
    EXPECT_TRUE(versionsIn("").empty());
    EXPECT_TRUE(versionsIn("<rss><item><title>1.0</title></item></rss>").empty());
    // What was read before the document breaks still counts.
    EXPECT_EQ(versionsIn("<rss><sparkle:shortVersionString>1.5</sparkle:shortVersionString><oops></rss>"),
              (std::vector<std::string>{"1.5"}));
    EXPECT_EQ(versionsIn("not xml at all <sparkle:shortVersionString>9</sparkle:shortVersionString>"),
              std::vector<std::string>{});
}

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

TEST(UpdateFeed, TheNoticeAppearsOnlyForAVersionThatWeighsMore)
{
    FeedServer server;
    server.serve("newer", {200, feed({"0.9.0", "1.2.0", "1.1.0"})});
    server.serve("beta", {200, feed({"1.0.0", "2.0b1"})});
    server.serve("equal", {200, feed({"1.0", "0.9.9"})});
    server.serve("older", {200, feed({"0.9.9"})});
    server.serve("empty", {200, ""});
    server.serve("none", {200, "<rss><channel><item><title>1.4.0</title></item></channel></rss>"});
    server.serve("malformed", {200, "<rss><item><sparkle:shortVersionString>1.3.0</sparkle:shortVersionString></item><item <<<"});
    server.serve("error", {500, "<html><body>Internal error</body></html>"});
    server.serve("errorWithFeed", {503, feed({"1.4.0"})});  // the status is not examined

    using Details = Wickerlamp::UpdateAvailableDetails;
    EXPECT_EQ(checkAgainst(server.base("newer")), Details{"1.2.0"});
    EXPECT_EQ(checkAgainst(server.base("beta")), Details{"2.0b1"});
    EXPECT_EQ(checkAgainst(server.base("equal")), std::nullopt);
    EXPECT_EQ(checkAgainst(server.base("older")), std::nullopt);
    EXPECT_EQ(checkAgainst(server.base("empty")), std::nullopt);
    EXPECT_EQ(checkAgainst(server.base("none")), std::nullopt);
    EXPECT_EQ(checkAgainst(server.base("malformed")), Details{"1.3.0"});
    EXPECT_EQ(checkAgainst(server.base("error")), std::nullopt);
    EXPECT_EQ(checkAgainst(server.base("errorWithFeed")), Details{"1.4.0"});
    EXPECT_EQ(checkAgainst(server.base("missing")), std::nullopt);  // 404 page
    EXPECT_EQ(server.requests(), 10);
}

TEST(UpdateFeed, AtMostOneMebibyteIsReadAndParsed)
{
    FeedServer server;
    const std::string padding(Wickerlamp::UpdateFeedFetcher::maximumFeedBytes, ' ');
    // A version before the cap is found; one after it is never read.
    server.serve("early", {200, "<rss><sparkle:shortVersionString>3.0</sparkle:shortVersionString>" + padding + "</rss>"});
    server.serve("late", {200, "<rss>" + padding + "<sparkle:shortVersionString>3.0</sparkle:shortVersionString></rss>"});
    EXPECT_EQ(checkAgainst(server.base("early")), Wickerlamp::UpdateAvailableDetails{"3.0"});
    EXPECT_EQ(checkAgainst(server.base("late")), std::nullopt);

    const auto body = Wickerlamp::UpdateFeedFetcher::download(
        juce::URL(server.base("late") + "/midi_sondrel/midisondrel.xml"), [] { return true; });
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(body->getSize(), Wickerlamp::UpdateFeedFetcher::maximumFeedBytes);
}

TEST(UpdateFeed, NoServerMeansNoNoticeAndAModelGoneMidCheckIsSafe)
{
    juce::String deadBase;
    {
        FeedServer server;  // a port that was open a moment ago and is now closed
        deadBase = server.base("gone");
    }
    EXPECT_EQ(checkAgainst(deadBase), std::nullopt);

    FeedServer server;
    server.serve("newer", {200, feed({"5.0"})});
    {
        Settings settings;
        settings.setUpdateServer(server.base("newer"));
        settings.checkForUpdate();
    }  // destroyed at once: the download is cancelled or its result dropped
    pumpMessages(200);
    EXPECT_LE(server.requests(), 1);
}
