// BuildLauncherArguments on any configuration text: the result always has its leading field
// bar and the bar between the first two values, and only the first four lines count.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/Configuration.h"
#include "fuzz/WideInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::wstring text = ConsumeWideText(input);
    const std::string arguments = BuildLauncherArguments(text);
    if (arguments.size() < 2 || arguments[0] != '|') std::abort();

    // Cut after the fourth line feed: the lines after it change nothing.
    size_t cut = std::wstring::npos;
    for (size_t from = 0, lineFeeds = 0; lineFeeds < 4; ++lineFeeds) {
        cut = text.find(L'\n', from);
        if (cut == std::wstring::npos) break;
        from = cut + 1;
    }
    if (cut != std::wstring::npos && BuildLauncherArguments(text.substr(0, cut) + L"\nx=tail") != arguments) {
        std::abort();
    }
    return 0;
}
