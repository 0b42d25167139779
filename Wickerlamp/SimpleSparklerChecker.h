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

/// Reads the version texts of an appcast-style update feed with an event-driven XML parser.
///
/// Every "sparkle:shortVersionString" element's text is collected in document order. The
/// element in progress is only replaced when the next element starts, so closing tags that
/// follow a version element directly collect its text again; that does not change which version
/// is the latest. A feed that is not well-formed stops the parser; what was read before counts.
/// One reader per feed, on any one thread.
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

    std::vector<std::string> versions;
    std::string currentElement;
    std::string currentValue;

    // Parser events.
    void elementStarted(std::string_view qualifiedName);
    void charactersFound(std::string_view characters);
    void elementEnded();
};

} // namespace Wickerlamp
