// The update feed reader on any bytes: the readings and the latest version those of a model
// written the plain way (every reading copied out in full, every weight from a split of the
// text), memory held within a small multiple of the feed, and the version weight of the bytes
// read as one version text the same as the model's.

#include "FuzzSupport.h"
#include "SimpleSparklerChecker.h"

#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>
#include <sanitizer/allocator_interface.h>

#include <charconv>
#include <string>
#include <string_view>

using SondrelFuzz::require;

namespace {

std::int64_t modelWeight(std::string_view version)
{
    std::int64_t weight = 0;
    std::size_t position = 0;
    while (!version.empty()) {
        const auto dot = version.find('.');
        const auto piece = version.substr(0, dot);
        version = dot == std::string_view::npos ? std::string_view{} : version.substr(dot + 1);
        if (piece.empty())
            continue;
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (error != std::errc{} || end != piece.data() + piece.size() || value > 1'000'000'000
            || value < -1'000'000'000)
            value = 0;
        weight += value * (position == 0 ? 10000 : position == 1 ? 100 : 1);
        ++position;
    }
    return weight;
}

/// Every version reading, in document order, with the reader's own parser settings.
std::vector<std::string> modelVersions(std::string_view feed)
{
    struct State {
        std::string element, value;
        std::vector<std::string> versions;
    } state;
    const auto started = [](void* s, const XML_Char* name, const XML_Char**) {
        static_cast<State*>(s)->element = name;
        static_cast<State*>(s)->value.clear();
    };
    const auto ended = [](void* p, const XML_Char*) {
        auto& s = *static_cast<State*>(p);
        const auto first = s.value.find_first_not_of(" \t\n\r\v\f");
        if (s.element == "sparkle:shortVersionString")
            s.versions.push_back(first == std::string::npos
                                     ? ""
                                     : s.value.substr(first, s.value.find_last_not_of(" \t\n\r\v\f") - first + 1));
    };
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser, 2.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser, 4096);
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, started, ended);
    XML_SetCharacterDataHandler(parser, [](void* s, const XML_Char* text, int length) {
        static_cast<State*>(s)->value.append(text, static_cast<std::size_t>(length));
    });
    XML_Parse(parser, feed.data(), static_cast<int>(feed.size()), XML_TRUE);
    XML_ParserFree(parser);
    return state.versions;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view feed(reinterpret_cast<const char*>(data), size);
    require(Wickerlamp::SimpleSparklerChecker::convertVersionToWeight(feed) == modelWeight(feed));
    const std::size_t before = __sanitizer_get_current_allocated_bytes();
    Wickerlamp::SimpleSparklerChecker checker;
    checker.parse(feed);
    require(__sanitizer_get_current_allocated_bytes() - before <= 8 * size + 65536);

    const std::vector<std::string> versions = modelVersions(feed);
    require(checker.versions.toVector() == versions);
    std::size_t latest = 0;
    for (std::size_t i = 1; i < versions.size(); ++i)
        latest = modelWeight(versions[i]) > modelWeight(versions[latest]) ? i : latest;
    require(checker.latestVersion() == (versions.empty() ? std::nullopt : std::optional(versions[latest])));
    return 0;
}
