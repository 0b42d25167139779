#include "SimpleSparklerChecker.h"

#include <expat.h>

#include <charconv>
#include <limits>
#include <memory>

namespace Wickerlamp {

namespace {

constexpr std::string_view whiteSpace = " \t\n\r\v\f";

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(whiteSpace);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(whiteSpace) - first + 1);
}

SimpleSparklerChecker& readerOf(void* userData)
{
    return *static_cast<SimpleSparklerChecker*>(userData);
}

} // namespace

void SimpleSparklerChecker::parse(const void* data, std::size_t size)
{
    // Without namespace processing element names keep their prefix ("sparkle:...").
    const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr), &XML_ParserFree);
    if (parser == nullptr)
        return;
    XML_SetUserData(parser.get(), this);
    XML_SetElementHandler(
        parser.get(),
        [](void* self, const XML_Char* name, const XML_Char**) { readerOf(self).elementStarted(name); },
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
}

void SimpleSparklerChecker::charactersFound(std::string_view characters)
{
    currentValue += characters;
}

void SimpleSparklerChecker::elementEnded()
{
    if (currentElement == versionElement)
        versions.emplace_back(trimmed(currentValue));
}

std::optional<std::string> SimpleSparklerChecker::latestVersion() const
{
    const std::string* best = nullptr;
    std::int64_t bestWeight = std::numeric_limits<std::int64_t>::min();
    for (const auto& v : versions) {
        const auto w = convertVersionToWeight(v);
        if (best == nullptr || w > bestWeight) {
            best = &v;
            bestWeight = w;
        }
    }
    if (best == nullptr)
        return std::nullopt;
    return *best;
}

std::int64_t SimpleSparklerChecker::convertVersionToWeight(std::string_view version)
{
    std::int64_t weight = 0;
    std::size_t position = 0;
    while (!version.empty()) {
        const auto dot = version.find('.');
        const auto piece = version.substr(0, dot);
        version = dot == std::string_view::npos ? std::string_view{} : version.substr(dot + 1);
        if (piece.empty())
            continue;
        // The whole piece must be a base-10 integer; "3b1" counts 0. Pieces too large for the
        // arithmetic are not versions anyone writes; they count 0 rather than overflow.
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (error != std::errc{} || end != piece.data() + piece.size() || value > 1'000'000'000 || value < -1'000'000'000)
            value = 0;
        const std::int64_t multiplier = position == 0 ? 10000 : position == 1 ? 100 : 1;
        weight += value * multiplier;
        ++position;
    }
    return weight;
}

} // namespace Wickerlamp
