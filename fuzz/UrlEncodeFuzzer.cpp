// UrlEncode on any bytes: the result holds only the bytes a request line may carry, and
// decoding it gives the input back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "download/HttpRequest.h"

namespace {

// Letters, digits and the seven marks stay as they are (strchr would also find the terminator).
bool KeptAsIs(char c) {
    const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return alphanumeric || (c != '\0' && std::strchr("./-_:()", c) != nullptr);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is never written
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string encoded = UrlEncode(input);
    std::string decoded;
    for (size_t at = 0; at < encoded.size(); ++at) {
        const char c = encoded[at];
        if (c == '%') {
            if (at + 2 >= encoded.size()) std::abort();
            const int high = HexValue(encoded[at + 1]);
            const int low = HexValue(encoded[at + 2]);
            if (high < 0 || low < 0) std::abort();
            decoded += static_cast<char>(high * 16 + low);
            at += 2;
        } else {
            if (!KeptAsIs(c)) std::abort();
            decoded += c;
        }
    }
    if (decoded != input) std::abort();
    return 0;
}
