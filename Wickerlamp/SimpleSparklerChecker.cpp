#include "SimpleSparklerChecker.h"

// Debian's expat is built with DTD support; its header declares the entity-expansion limits
// only when told so.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

#include <memory>
#include <utility>

namespace Wickerlamp {

namespace {

constexpr std::string_view whiteSpace = " \t\n\r\v\f";

std::pair<std::size_t, std::size_t> trimmedRange(std::string_view text)
{
    const auto first = text.find_first_not_of(whiteSpace);
    if (first == std::string_view::npos)
        return {text.size(), 0};
    return {first, text.find_last_not_of(whiteSpace) - first + 1};
}

/// The weight of a version text fed one character at a time (see convertVersionToWeight).
class WeightScanner {
public:
    void add(char c) noexcept
    {
        if (c == '.') {
            finished += pieceWeight();
            position += pieceLength > 0 ? 1 : 0;  // empty pieces are skipped
            pieceLength = 0;
            value = 0;
            negative = false;
            number = true;
            return;
        }
        ++pieceLength;
        if (pieceLength == 1 && c == '-')
            negative = true;
        else if (c >= '0' && c <= '9' && number)
            number = (value = value * 10 + (c - '0')) <= limit;  // larger pieces are not versions
        else
            number = false;
    }

    std::int64_t weight() const noexcept { return finished + pieceWeight(); }

private:
    static constexpr std::int64_t limit = 1'000'000'000;

    std::int64_t pieceWeight() const noexcept
    {
        if (!number || pieceLength == (negative ? 1u : 0u))
            return 0;
        const std::int64_t multiplier = position == 0 ? 10000 : position == 1 ? 100 : 1;
        return (negative ? -value : value) * multiplier;
    }

    std::int64_t finished = 0;
    std::size_t position = 0;
    std::size_t pieceLength = 0;
    std::int64_t value = 0;
    bool negative = false;
    bool number = true;
};

SimpleSparklerChecker& readerOf(void* userData) { return *static_cast<SimpleSparklerChecker*>(userData); }

}  // namespace

void SimpleSparklerChecker::parse(const void* data, std::size_t size)
{
    // Without namespace processing element names keep their prefix ("sparkle:...").
    const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                              &XML_ParserFree);
    if (parser == nullptr)
        return;
    // Entities may not make more than twice the document's own bytes.
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser.get(), 2.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser.get(), 4096);
    XML_SetUserData(parser.get(), this);
    XML_SetElementHandler(
        parser.get(), [](void* self, const XML_Char* name, const XML_Char**) { readerOf(self).elementStarted(name); },
        [](void* self, const XML_Char*) { readerOf(self).elementEnded(); });
    XML_SetCharacterDataHandler(parser.get(), [](void* self, const XML_Char* text, int length) {
        readerOf(self).charactersFound({text, static_cast<std::size_t>(length)});
    });

    // Fed in pieces so that sizes beyond int are handled; a malformed document stops here.
    const auto* bytes = static_cast<const char*>(data);
    constexpr std::size_t piece = 1 << 20;
    do {
        const std::size_t n = std::min(size, piece);
        const bool last = n == size;
        if (XML_Parse(parser.get(), bytes, static_cast<int>(n), last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK)
            return;
        bytes += n;
        size -= n;
    } while (size > 0);
}

void SimpleSparklerChecker::elementStarted(std::string_view qualifiedName)
{
    currentElement = qualifiedName;
    currentValue.clear();
    valueRead = 0;
    valueReadOnce = false;
}

void SimpleSparklerChecker::charactersFound(std::string_view characters) { currentValue += characters; }

void SimpleSparklerChecker::elementEnded()
{
    if (currentElement != versionElement)
        return;
    const std::string_view value = currentValue;
    if (valueReadOnce)
        versions.addLonger(value.substr(valueRead));
    else
        versions.add(value);
    valueRead = value.size();
    valueReadOnce = true;
}

std::optional<std::string> SimpleSparklerChecker::latestVersion() const
{
    const auto heaviest = versions.heaviest();
    if (!heaviest)
        return std::nullopt;
    return std::string(versions[*heaviest]);
}

std::int64_t SimpleSparklerChecker::convertVersionToWeight(std::string_view version)
{
    // A piece must be a whole base-10 integer ("3b1" counts 0); pieces beyond a billion are not
    // versions anyone writes and count 0 rather than overflow.
    WeightScanner scanner;
    for (const char c : version)
        scanner.add(c);
    return scanner.weight();
}

std::vector<std::string> VersionTexts::toVector() const
{
    std::vector<std::string> all;
    for (std::size_t i = 0; i < size(); ++i)
        all.emplace_back((*this)[i]);
    return all;
}

void VersionTexts::add(std::string_view elementText)
{
    lastElementStart = text.size();
    text += elementText;
    addReadingOfLastElement();
}

void VersionTexts::addLonger(std::string_view moreText)
{
    text += moreText;
    addReadingOfLastElement();
}

void VersionTexts::addReadingOfLastElement()
{
    const auto [offset, length] = trimmedRange(std::string_view(text).substr(lastElementStart));
    readings.push_back({lastElementStart + offset, length});
}

std::optional<std::size_t> VersionTexts::heaviest() const
{
    // Later readings of one element extend the earlier ones, so the scan carries on from where
    // the previous reading ended instead of starting again.
    std::optional<std::size_t> best;
    std::int64_t bestWeight = 0;
    WeightScanner scanner;
    std::size_t scanStart = 0;
    std::size_t scanned = 0;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const Reading& r = readings[i];
        if (r.start != scanStart || r.start + r.length < scanned) {
            scanner = WeightScanner{};
            scanStart = scanned = r.start;
        }
        for (; scanned < r.start + r.length; ++scanned)
            scanner.add(text[scanned]);
        const std::int64_t weight = scanner.weight();
        if (!best || weight > bestWeight) {
            best = i;
            bestWeight = weight;
        }
    }
    return best;
}

}  // namespace Wickerlamp
