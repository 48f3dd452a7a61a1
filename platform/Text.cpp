#include "platform/Text.h"

#include <cstdint>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one sequence at text[i]; advances i past what was consumed (at least one byte).
char32_t DecodeOne(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    size_t k = 1;
    for (; k < length; ++k) {
        if (i + k >= text.size() || !IsContinuation(static_cast<unsigned char>(text[i + k]))) {
            break;
        }
        value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    if (k < length) {
        i += k;  // a cut-short sequence is one error; the byte that broke it starts anew
        return kReplacement;
    }
    i += length;
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return kReplacement;
    }
    return value;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::wstring ToWide(std::string_view narrow) {
    std::wstring wide;
    wide.reserve(narrow.size());
    for (size_t i = 0; i < narrow.size();) {
        wide += static_cast<wchar_t>(DecodeOne(narrow, i));
    }
    return wide;
}

std::string ToNarrow(std::wstring_view wide) {
    std::string narrow;
    narrow.reserve(wide.size());
    for (wchar_t c : wide) {
        AppendUtf8(narrow, static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c)));
    }
    return narrow;
}

}  // namespace platform
