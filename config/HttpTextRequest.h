// The configuration fetch: one HTTP GET through libcurl, its body handed piece by piece to a
// text sink as it arrives.
//
// The request: GET, HTTP/1.0, user agent "Download", the object name made of the URL's path,
// "?" and the current local time in ctime form (so every start asks for a new object and no
// cache on the way can answer it), the proxy that libcurl takes from the usual proxy variables,
// nothing cached. The answer's status is not examined: an error page reaches the sink like
// the file.
#pragma once

#include <cstdint>
#include <ctime>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

typedef void CURL;
struct Curl_URL;
struct curl_slist;

// Receives each piece of the body as zero-terminated text, valid only during the call.
using TextSink = void (*)(const char* text, void* context);

// The fetch runs while the window is not yet shown, so an unreachable or silent server must
// not hold the start-up for long: at most `connectMs` to set up the connection (name lookup
// included), at most `stallSeconds` with less than one byte a second, and `totalMs` for the
// whole fetch whatever happens. A body longer than `maxBodyBytes` is not a configuration text:
// the fetch stops there and fails rather than fill memory.
struct FetchLimits {
    long connectMs;
    long stallSeconds;
    long totalMs;
    int64_t maxBodyBytes;
};
inline constexpr FetchLimits kFetchLimits{10'000, 10, 30'000, 1 << 20};

// A piece is copied into a text of this size with its terminating zero; a longer piece is
// handed on in parts of at most kPieceTextSize - 1 bytes.
inline constexpr size_t kPieceTextSize = 65'000;

// The state of one fetch, owned by FetchUrlText for the length of one call.
struct HttpTextRequest {
    TextSink onText = nullptr;  // null: pieces are read and dropped
    void* context = nullptr;    // handed back unchanged to onText
    // The libcurl session: agent, proxy, limits. Null when not open.
    CURL* internetHandle = nullptr;
    // Scheme, host and port of the server, checked by libcurl. Null when not open.
    Curl_URL* connectionHandle = nullptr;
    // The request's own headers. Null when not set.
    curl_slist* requestHeaders = nullptr;
    FetchLimits limits = kFetchLimits;
    int64_t bodyBytes = 0;
    // The blank line that ends the latest answer's head has arrived.
    bool headComplete = false;
    std::vector<char> pieceText;
    // An exception that left the sink, held while libcurl unwinds and raised again after it.
    std::exception_ptr sinkFailure;

    HttpTextRequest() = default;
    ~HttpTextRequest();
    HttpTextRequest(const HttpTextRequest&) = delete;
    HttpTextRequest& operator=(const HttpTextRequest&) = delete;
};

// Fetches url and hands its body to onText. 0 when the body was read to its end, -1 when the
// fetch failed (no connection, a broken or stalled transfer, a limit reached); pieces handed to
// the sink before a failure stay where the sink put them.
int32_t FetchUrlText(TextSink onText, void* context, std::wstring_view url,
                     const FetchLimits& limits = kFetchLimits);

// Sends the GET for objectName on the request's connection and reads the answer's body.
// 0 when the body was read to its end, otherwise the WinINet-style error number of the failure
// (6 when the request has no connection, 12029 no connection could be made, 12002 timed out,
// 12030 the transfer broke off, ...).
uint32_t SendAndReadResponse(HttpTextRequest& request, std::wstring_view objectName);

// Hands one piece of the body to the request's sink: in parts that fit the piece text, each
// zero-terminated (a zero byte inside a part ends that part's text).
void DeliverPiece(HttpTextRequest& request, const char* data, size_t size);

// The time text of the object name: the local time in ctime form, 24 characters and a line
// feed, as in "Wed Jan 02 02:03:55 1980\n" (English names and zero-padded day, whatever the
// locale).
std::string FormatTimeText(const std::tm& localTime);

// The object name as it goes on the request line: spaces, control characters (the line feed
// of the time text), "#" and bytes outside ASCII percent-escaped, everything else unchanged.
std::string EscapeObjectName(std::string_view objectName);
