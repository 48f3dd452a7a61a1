#include "config/HttpUrl.h"

#include <climits>

#include "platform/Fields.h"
#include "platform/Text.h"

namespace {

constexpr int32_t kDefaultHttpPort = 80;

bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a number as the C library's atoi does (white space, sign, digits up to the first
// non-digit, 0 without digits), saturating where atoi's result would be undefined.
int32_t ReadDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsAsciiSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{INT_MAX} + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace

HttpUrlParts SplitHttpUrl(std::wstring_view url) {
    HttpUrlParts parts;
    const std::wstring authority = platform::ExtractField(url, 2, L'/');
    const std::wstring portText = platform::ExtractField(authority, 1, L':');
    if (!portText.empty()) {
        parts.host = platform::ToNarrow(platform::ExtractField(authority, 0, L':'));
        parts.port = ReadDecimal(platform::ToNarrow(portText));
    } else {
        parts.host = platform::ToNarrow(authority);
        parts.port = kDefaultHttpPort;
    }
    parts.path = platform::ToNarrow(ExtractUrlPath(url, 3));
    return parts;
}

std::wstring ExtractUrlPath(std::wstring_view url, int32_t count) {
    std::string working = platform::ToNarrow(url);
    const size_t firstSlash = working.find('/');
    if (firstSlash == std::string::npos) return L"/";
    working.erase(0, firstSlash);
    // A cut that finds no "/" drops nothing, and neither can any cut after it.
    for (int32_t i = 0; i < count; ++i) {
        const size_t slash = working.find('/');
        if (slash == std::string::npos) break;
        working.erase(0, slash + 1);
    }
    return platform::ToWide("/" + working);
}
