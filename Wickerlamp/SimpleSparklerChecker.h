#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Wickerlamp {

/// What a found update carries.
struct UpdateAvailableDetails {
    std::string newVersion;  ///< as written in the feed, for example "1.3.0"

    friend bool operator==(const UpdateAvailableDetails&, const UpdateAvailableDetails&) = default;
};

/// The version texts read from a feed, in document order, repeated readings included.
///
/// Every reading of one version element is a stretch of the same collected text (see
/// SimpleSparklerChecker), so that text is kept once and each reading as where it lies in it:
/// whatever the feed's shape, the list holds a few bytes per byte of the feed.
class VersionTexts {
public:
    std::size_t size() const noexcept { return readings.size(); }
    bool empty() const noexcept { return readings.empty(); }
    /// The reading with its surrounding white space removed.
    std::string_view operator[](std::size_t index) const noexcept
    {
        return std::string_view(text).substr(readings[index].start, readings[index].length);
    }
    std::vector<std::string> toVector() const;

    /// A reading of an element's text.
    void add(std::string_view elementText);
    /// Another reading of the element read last, whose text has grown by `moreText` since.
    void addLonger(std::string_view moreText);

    /// The index of the reading with the highest weight, the first of equal weights. In one
    /// pass over the text, however often each element was read.
    std::optional<std::size_t> heaviest() const;

private:
    struct Reading {
        std::size_t start;
        std::size_t length;
    };
    void addReadingOfLastElement();

    std::string text;  ///< every version element's text, one after the other
    std::vector<Reading> readings;
    std::size_t lastElementStart = 0;
};

/// Reads the version texts of an appcast-style update feed with an event-driven XML parser.
///
/// Every "sparkle:shortVersionString" element's text is collected in document order. The
/// element in progress is only replaced when the next element starts, so closing tags that
/// follow a version element directly collect its text again, together with any text read since;
/// that does not change which version is the latest. A feed that is not well-formed stops the
/// parser; what was read before counts. Entities may not expand the feed to more than about
/// twice its size (the parser stops there too), so memory stays within a small multiple of the
/// feed. One reader per feed, on any one thread.
class SimpleSparklerChecker {
public:
    static constexpr std::string_view versionElement = "sparkle:shortVersionString";

    SimpleSparklerChecker() = default;

    /// Parses the bytes synchronously, without namespace processing.
    void parse(const void* data, std::size_t size);
    void parse(std::string_view data) { parse(data.data(), data.size()); }

    /// The version with the highest weight; the first of equal weights. Nothing when no version was read.
    std::optional<std::string> latestVersion() const;

    /// 1.2.3 weighs 10203: the first piece counts 10000, the second 100, every later one 1.
    /// Empty pieces are skipped ("1..2" reads as 1.2); a piece that is not a number counts 0.
    static std::int64_t convertVersionToWeight(std::string_view version);

    VersionTexts versions;
    std::string currentElement;
    std::string currentValue;

    // Parser events.
    void elementStarted(std::string_view qualifiedName);
    void charactersFound(std::string_view characters);
    void elementEnded();

private:
    std::size_t valueRead = 0;  ///< how much of currentValue `versions` has, once read
    bool valueReadOnce = false;
};

}  // namespace Wickerlamp
