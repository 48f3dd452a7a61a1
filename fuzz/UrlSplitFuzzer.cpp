// SplitHttpUrl and ExtractUrlPath on any URL text and any count of cuts: a path always starts
// with "/", and the split's path is ExtractUrlPath's with three cuts.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "config/HttpUrl.h"
#include "fuzz/WideInput.h"
#include "platform/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int32_t count = input.ConsumeIntegral<int32_t>();
    const std::wstring url = ConsumeWideText(input);

    const HttpUrlParts parts = SplitHttpUrl(url);
    if (parts.path.empty() || parts.path[0] != '/') std::abort();
    if (parts.path != platform::ToNarrow(ExtractUrlPath(url, 3))) std::abort();

    const std::wstring path = ExtractUrlPath(url, count);
    if (path.empty() || path[0] != L'/') std::abort();
    return 0;
}
