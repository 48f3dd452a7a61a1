#include "platform/Fields.h"

namespace platform {

std::wstring ExtractField(std::wstring_view text, int n, wchar_t separator) {
    if (n < 0) return {};
    size_t start = 0;
    for (int i = 0; i < n; ++i) {
        const size_t next = text.find(separator, start);
        if (next == std::wstring_view::npos) return {};
        start = next + 1;
    }
    const size_t end = text.find(separator, start);
    return std::wstring(text.substr(start, end == std::wstring_view::npos ? text.npos : end - start));
}

}  // namespace platform
