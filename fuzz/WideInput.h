// Wide text for the fuzz targets that take it: either the input read as UTF-8 (the way every
// narrow text of the program becomes wide), or the input's bytes taken four at a time as raw
// wchar_t values, so that surrogates and values beyond U+10FFFF reach the code too.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "platform/Text.h"

inline std::wstring ConsumeWideText(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) return platform::ToWide(input.ConsumeRemainingBytesAsString());
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
    return wide;
}
