// CHttpParamMessage::Parse on any text: it never fails on a non-empty one, and what it keeps
// can always be read back and written out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "download/HttpParamMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CHttpParamMessage message;
    if (message.Parse(text) != !text.empty()) std::abort();
    // Nothing taken from the text can be longer than the text (the start line's three names
    // are the message's own).
    for (const auto& [name, value] : message.Fields()) {
        const bool pseudo = name == "METHOD" || name == "URI" || name == "VERSION";
        if (value.size() > size || (!pseudo && name.size() + 1 + value.size() > size)) std::abort();
    }
    if (message.Body().size() > size) std::abort();
    message.GetUri();
    message.GetField("Content-Length");
    message.Serialize();
    return 0;
}
