// Cutting a text into fields at a separator character.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Field n (from 0) of text cut at separator: field 0 runs from the start to the first
// separator, field n from just after the n-th separator to the next one or the end.
// Empty when the text holds fewer than n separators.
std::wstring ExtractField(std::wstring_view text, int n, wchar_t separator);

}  // namespace platform
