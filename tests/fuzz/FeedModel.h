#pragma once

// The update feed's reading rules and version weight written the plain way, as a model for the
// fuzz targets: every reading copied out in full, every weight from a split of the text.

#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace SondrelFuzz {

inline std::int64_t modelWeight(std::string_view version)
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
inline std::vector<std::string> modelVersions(std::string_view feed)
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

}  // namespace SondrelFuzz
