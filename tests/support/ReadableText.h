// Texts of table-driven cases, shown in brackets for the cases' PrintTo: GoogleTest's listing
// puts them into the CTest names, so they must fit on one line, stay the same from build to
// build and tell each character apart. Printable ASCII and Hangul syllables stand as they are;
// every other character is escaped, since the control bytes would break the listing and the many
// look-alike spaces (no-break, ideographic, zero-width, the Hangul filler) cannot be told apart.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace readable_text_detail {

inline bool IsPrintableAscii(char32_t c) { return c >= 0x20 && c < 0x7F; }
inline bool IsHangulSyllable(char32_t c) { return c >= 0xAC00 && c <= 0xD7A3; }

inline void AppendEscaped(const char* format, unsigned value, std::string* out) {
    char escape[16];
    std::snprintf(escape, sizeof escape, format, value);
    *out += escape;
}

inline bool AppendNamedEscape(char32_t c, std::string* out) {
    switch (c) {
        case '\t': *out += "\\t"; return true;
        case '\r': *out += "\\r"; return true;
        case '\n': *out += "\\n"; return true;
        default: return false;
    }
}

// The Hangul syllable whose UTF-8 form starts `text`, or 0.
inline char32_t LeadingHangulSyllable(std::string_view text) {
    if (text.size() < 3) return 0;
    const auto b0 = static_cast<unsigned char>(text[0]);
    const auto b1 = static_cast<unsigned char>(text[1]);
    const auto b2 = static_cast<unsigned char>(text[2]);
    if ((b0 & 0xF0) != 0xE0 || (b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80) return 0;
    const char32_t c = (char32_t{b0} & 0x0F) << 12 | (char32_t{b1} & 0x3F) << 6 | (char32_t{b2} & 0x3F);
    return IsHangulSyllable(c) ? c : 0;
}

}  // namespace readable_text_detail

// Bytes: other bytes as \xHH, so invalid UTF-8 shows exactly what was given.
inline std::string ReadableText(std::string_view text) {
    using namespace readable_text_detail;
    std::string out = "[";
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (LeadingHangulSyllable(text.substr(i)) != 0) {
            out += text.substr(i, 3);
            i += 3;
            continue;
        }
        if (IsPrintableAscii(byte)) {
            out += static_cast<char>(byte);
        } else if (!AppendNamedEscape(byte, &out)) {
            AppendEscaped("\\x%02X", byte, &out);
        }
        ++i;
    }
    return out + "]";
}

// Wide text: other characters as \uXXXX (or \UXXXXXXXX beyond the first plane).
inline std::string ReadableText(std::wstring_view text) {
    using namespace readable_text_detail;
    std::string out = "[";
    for (const wchar_t wide : text) {
        const auto c = static_cast<char32_t>(wide);
        if (IsPrintableAscii(c)) {
            out += static_cast<char>(c);
        } else if (IsHangulSyllable(c)) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (!AppendNamedEscape(c, &out)) {
            AppendEscaped(c > 0xFFFF ? "\\U%08X" : "\\u%04X", static_cast<unsigned>(c), &out);
        }
    }
    return out + "]";
}
