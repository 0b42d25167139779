// The version weight on any text: the same as splitting it at dots and reading each piece.

#include "FeedModel.h"
#include "FuzzSupport.h"
#include "SimpleSparklerChecker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view version(reinterpret_cast<const char*>(data), size);
    SondrelFuzz::require(Wickerlamp::SimpleSparklerChecker::convertVersionToWeight(version)
                         == SondrelFuzz::modelWeight(version));
    return 0;
}
