#include "config/HttpTextRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "config/HttpUrl.h"
#include "platform/Text.h"

namespace {

// WinINet's numbers for the failures a fetch can meet, so that the result reads as it would on
// Windows.
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kInternetTimeout = 12002;
constexpr uint32_t kInternetInternalError = 12004;
constexpr uint32_t kInternetInvalidUrl = 12005;
constexpr uint32_t kInternetUnrecognizedScheme = 12006;
constexpr uint32_t kInternetNameNotResolved = 12007;
constexpr uint32_t kInternetCannotConnect = 12029;
constexpr uint32_t kInternetConnectionAborted = 12030;
constexpr uint32_t kHttpInvalidServerResponse = 12152;
constexpr uint32_t kHttpRedirectFailed = 12156;

constexpr long kMaxRedirects = 5;

uint32_t InternetErrorOf(CURLcode code) {
    switch (code) {
        case CURLE_OK: return 0;
        case CURLE_UNSUPPORTED_PROTOCOL: return kInternetUnrecognizedScheme;
        case CURLE_URL_MALFORMAT: return kInternetInvalidUrl;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST: return kInternetNameNotResolved;
        case CURLE_COULDNT_CONNECT: return kInternetCannotConnect;
        case CURLE_OPERATION_TIMEDOUT: return kInternetTimeout;
        case CURLE_PARTIAL_FILE:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR: return kInternetConnectionAborted;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_GOT_NOTHING: return kHttpInvalidServerResponse;
        case CURLE_TOO_MANY_REDIRECTS: return kHttpRedirectFailed;
        case CURLE_WRITE_ERROR:  // the body outgrew maxBodyBytes
        case CURLE_OUT_OF_MEMORY: return kErrorNotEnoughMemory;
        default: return kInternetInternalError;
    }
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The session: what WinINet's InternetOpen and request flags settle. The proxy is left unset,
// so libcurl takes it from http_proxy / all_proxy / no_proxy, the system's configured proxy.
// libcurl keeps no cache, so nothing of the answer is stored.
CURL* OpenInternet(const FetchLimits& limits) {
    InitCurlOnce();
    CURL* handle = curl_easy_init();
    if (!handle) return nullptr;
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Download");
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, limits.totalMs);
    // WinINet follows redirects on its own, from HTTP to HTTP only (it refuses a switch to
    // HTTPS unless told otherwise); and not forever.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    return handle;
}

// What WinINet's InternetConnect settles: the server's host and port, checked by libcurl's URL
// parser. Null when the host is not a usable host name or the port is not a TCP port.
Curl_URL* OpenConnection(const std::string& host, int32_t port) {
    if (port < 1 || port > 65535) return nullptr;
    CURLU* url = curl_url();
    if (!url) return nullptr;
    const std::string portText = std::to_string(port);
    if (curl_url_set(url, CURLUPART_SCHEME, "http", 0) != CURLUE_OK ||
        curl_url_set(url, CURLUPART_HOST, host.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url, CURLUPART_PORT, portText.c_str(), 0) != CURLUE_OK) {
        curl_url_cleanup(url);
        return nullptr;
    }
    return url;
}

void CloseHandles(HttpTextRequest& request) {
    if (request.internetHandle) {
        curl_easy_cleanup(request.internetHandle);
        request.internetHandle = nullptr;
    }
    if (request.connectionHandle) {
        curl_url_cleanup(request.connectionHandle);
        request.connectionHandle = nullptr;
    }
    if (request.requestHeaders) {
        curl_slist_free_all(request.requestHeaders);
        request.requestHeaders = nullptr;
    }
}

// libcurl's write callback. An exception must not cross libcurl: it is held and raised again
// once the transfer has been wound up.
size_t ReceiveBody(char* data, size_t size, size_t count, void* userdata) {
    auto& request = *static_cast<HttpTextRequest*>(userdata);
    const size_t length = size * count;
    request.bodyBytes += static_cast<int64_t>(length);
    if (request.bodyBytes > request.limits.maxBodyBytes) return 0;
    try {
        DeliverPiece(request, data, length);
    } catch (...) {
        request.sinkFailure = std::current_exception();
        return 0;
    }
    return length;
}

// libcurl's header callback, once per head line: it notes whether the head of the latest answer
// (a redirect or an interim answer starts a new one) was ended by its blank line. libcurl counts
// a head cut short by the server's close as an answer; it is a broken transfer.
size_t ReceiveHeadLine(char* data, size_t size, size_t count, void* userdata) {
    auto& request = *static_cast<HttpTextRequest*>(userdata);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) request.headComplete = false;
    if (line == "\r\n" || line == "\n") request.headComplete = true;
    return line.size();
}

// Points the connection's URL at the object. The whole URL is set at once: libcurl keeps the
// escapes of a whole URL as written, where it would lower-case those of a path or query set alone.
bool SetObjectName(Curl_URL* url, const std::string& escapedName) {
    char* server = nullptr;  // "http://host:port/"
    if (curl_url_get(url, CURLUPART_URL, &server, 0) != CURLUE_OK) return false;
    std::string target(server);
    curl_free(server);
    target.pop_back();
    target += escapedName;
    return curl_url_set(url, CURLUPART_URL, target.c_str(), 0) == CURLUE_OK;
}

std::string CurrentTimeText() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    return local ? FormatTimeText(*local) : std::string();
}

}  // namespace

HttpTextRequest::~HttpTextRequest() { CloseHandles(*this); }

void DeliverPiece(HttpTextRequest& request, const char* data, size_t size) {
    if (request.pieceText.size() != kPieceTextSize) request.pieceText.assign(kPieceTextSize, 0);
    for (size_t offset = 0; offset < size;) {
        const size_t part = std::min(size - offset, kPieceTextSize - 1);
        std::memcpy(request.pieceText.data(), data + offset, part);
        request.pieceText[part] = 0;
        if (request.onText) request.onText(request.pieceText.data(), request.context);
        offset += part;
    }
}

std::string EscapeObjectName(std::string_view objectName) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(objectName.size());
    for (const char c : objectName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '#') {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string FormatTimeText(const std::tm& localTime) {
    static constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[50] = {};
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d\n",
                  kWeekdays[std::clamp(localTime.tm_wday, 0, 6)], kMonths[std::clamp(localTime.tm_mon, 0, 11)],
                  localTime.tm_mday, localTime.tm_hour, localTime.tm_min, localTime.tm_sec,
                  localTime.tm_year + 1900);
    return text;
}

uint32_t SendAndReadResponse(HttpTextRequest& request, std::wstring_view objectName) {
    if (!request.internetHandle || !request.connectionHandle) return kErrorInvalidHandle;
    if (!SetObjectName(request.connectionHandle, EscapeObjectName(platform::ToNarrow(objectName))))
        return kInternetInvalidUrl;
    // HTTP/1.0 closes after each answer unless asked otherwise, as WinINet does.
    if (!request.requestHeaders) request.requestHeaders = curl_slist_append(nullptr, "Connection: Keep-Alive");
    CURL* handle = request.internetHandle;
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, request.requestHeaders);
    curl_easy_setopt(handle, CURLOPT_CURLU, request.connectionHandle);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, ReceiveBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &request);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, ReceiveHeadLine);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &request);
    request.bodyBytes = 0;
    request.headComplete = false;
    const CURLcode result = curl_easy_perform(handle);
    if (request.sinkFailure) std::rethrow_exception(std::exchange(request.sinkFailure, nullptr));
    if (result == CURLE_OK && !request.headComplete) return kInternetConnectionAborted;
    return InternetErrorOf(result);
}

int32_t FetchUrlText(TextSink onText, void* context, std::wstring_view url, const FetchLimits& limits) {
    HttpTextRequest request;
    request.onText = onText;
    request.context = context;
    request.limits = limits;
    const std::string timeText = CurrentTimeText();
    const HttpUrlParts parts = SplitHttpUrl(url);
    const std::wstring objectName = platform::ToWide(parts.path) + L"?" + platform::ToWide(timeText);
    request.internetHandle = OpenInternet(limits);
    if (request.internetHandle) {
        request.connectionHandle = OpenConnection(parts.host, parts.port);
        if (!request.connectionHandle) {
            curl_easy_cleanup(request.internetHandle);
            request.internetHandle = nullptr;
        }
    }
    const uint32_t result = SendAndReadResponse(request, objectName);
    CloseHandles(request);
    return result != 0 ? -1 : 0;
}
