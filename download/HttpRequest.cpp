#include "download/HttpRequest.h"

#include "download/HttpParamMessage.h"
#include "platform/ErrorCodes.h"
#include "platform/Sockets.h"

namespace {

// How long the rest of a request that the socket took only in part may wait for room.
constexpr uint32_t kRestOfRequestWaitMs = 10000;

bool KeptAsIs(unsigned char c) {
    const bool letterOrDigit =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return letterOrDigit || c == '.' || c == '/' || c == '-' || c == '_' || c == ':' || c == '(' ||
           c == ')';
}

// The whole text: the first send as the caller's attempt, the rest after waiting for room, so
// the peer never sees half a request followed by a new one.
int32_t SendWholly(int socket, const std::string& text) {
    size_t done = 0;
    int32_t result = platform::SendOnSocket(socket, text.data(), text.size(), &done);
    while (result == 0 && done < text.size()) {
        if (!platform::WaitUntilWritable(socket, kRestOfRequestWaitMs)) {
            platform::SetLastErrorCode(platform::kWsaETimedOut);
            return platform::kWsaETimedOut;
        }
        size_t sent = 0;
        result = platform::SendOnSocket(socket, text.data() + done, text.size() - done, &sent);
        done += sent;
        if (result == platform::kWsaEWouldBlock) result = 0;  // room went again; wait once more
    }
    return result;
}

}  // namespace

std::string UrlEncode(std::string_view text) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char raw : text) {
        const auto c = static_cast<unsigned char>(raw);
        if (KeptAsIs(c)) {
            encoded += raw;
        } else {
            encoded += '%';
            encoded += kHexDigits[c >> 4];
            encoded += kHexDigits[c & 0x0F];
        }
    }
    return encoded;
}

int32_t SendRequest(DownloadJob& job, const std::string& path, const std::string& host) {
    CHttpParamMessage request;
    request.SetField("METHOD", "GET");
    request.SetField("URI", UrlEncode(path));
    request.SetField("VERSION", "HTTP/1.1");
    request.SetField("Accept", "text/html, application/xhtml+xml, */*");
    request.SetField("Accept-Language", "ko-KR");
    request.SetField("User-Agent",
                     "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; WOW64; Trident/6.0)");
    request.SetField("Accept-Encoding", "gzip, deflate");
    request.SetField("Host", host);
    request.SetField("Connection", "Close");
    request.SetField("Cache-Control", "no-cache");
    return SendWholly(job.socket, request.Serialize());
}
