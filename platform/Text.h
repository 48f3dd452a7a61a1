// Narrow and wide text.
//
// Narrow text is UTF-8, the "ANSI code page" of every thread on Linux; wide text is
// std::wstring. Every conversion in the program goes through this one pair.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Bytes that are not valid UTF-8 (stray continuation bytes, overlong forms, surrogates,
// values above U+10FFFF, a sequence cut short) each become U+FFFD.
std::wstring ToWide(std::string_view narrow);

// Characters that no UTF-8 sequence can carry (surrogates, values above U+10FFFF) become U+FFFD.
std::string ToNarrow(std::wstring_view wide);

}  // namespace platform
