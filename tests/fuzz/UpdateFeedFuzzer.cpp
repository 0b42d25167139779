// The update feed reader on any bytes: the readings and the latest version those of the plain
// model, memory held within a small multiple of the feed, and the version weight of the bytes
// read as one version text the same as the model's split at dots.

#include "FeedModel.h"
#include "FuzzSupport.h"
#include "SimpleSparklerChecker.h"

#include <sanitizer/allocator_interface.h>

using SondrelFuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view feed(reinterpret_cast<const char*>(data), size);
    require(Wickerlamp::SimpleSparklerChecker::convertVersionToWeight(feed) == SondrelFuzz::modelWeight(feed));
    const std::size_t before = __sanitizer_get_current_allocated_bytes();
    Wickerlamp::SimpleSparklerChecker checker;
    checker.parse(feed);
    require(__sanitizer_get_current_allocated_bytes() - before <= 8 * size + 65536);

    const std::vector<std::string> versions = SondrelFuzz::modelVersions(feed);
    require(checker.versions.toVector() == versions);
    std::size_t latest = 0;
    for (std::size_t i = 1; i < versions.size(); ++i)
        latest = SondrelFuzz::modelWeight(versions[i]) > SondrelFuzz::modelWeight(versions[latest]) ? i : latest;
    require(checker.latestVersion() == (versions.empty() ? std::nullopt : std::optional(versions[latest])));
    return 0;
}
