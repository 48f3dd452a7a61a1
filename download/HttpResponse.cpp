#include "download/HttpResponse.h"

#include <climits>
#include <cstring>
#include <string_view>

#include "platform/ErrorCodes.h"
#include "platform/Sockets.h"

namespace {

// A decimal number the way strtoll reads it in the "C" locale: leading white space, an optional
// sign, digits up to the first other byte; no digit gives 0, and a number out of range the
// nearest of min and max.
int64_t ReadDecimal(std::string_view text, int64_t min, int64_t max) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    // Accumulate towards the limit on the number's side, so max and min both fit on the way.
    const int64_t limit = negative ? min : max;
    int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        if (!negative) {
            if (value > (limit - digit) / 10) return limit;
            value = value * 10 + digit;
        } else {
            if (value < (limit + digit) / 10) return limit;
            value = value * 10 - digit;
        }
    }
    return value;
}

// Where "\r\n\r\n" starts within the first length bytes, or -1.
int32_t FindBlankLine(const char* bytes, int32_t length) {
    for (int32_t p = 0; p + 4 <= length; ++p) {
        if (std::memcmp(bytes + p, "\r\n\r\n", 4) == 0) return p;
    }
    return -1;
}

// The head ends at its blank line; the byte after it becomes a terminating zero for the parse,
// so a zero byte inside the head ends the parsed text early.
void ParseHead(DownloadJob& job, int32_t headEnd) {
    const char saved = job.headerBuffer[headEnd];
    job.headerBuffer[headEnd] = '\0';
    job.response.Parse(std::string_view(job.headerBuffer, std::strlen(job.headerBuffer)));
    job.headerBuffer[headEnd] = saved;
}

int32_t ReceiveHead(DownloadJob& job, char* buffer, int32_t& count) {
    const int32_t read = platform::ReceiveFromSocket(
        job.socket, job.headerBuffer + job.headerLength, kHeaderReadLimit - job.headerLength);
    if (read < 0) return -1;
    const int32_t gathered = job.headerLength + read;
    const int32_t blank = FindBlankLine(job.headerBuffer, gathered);
    if (blank < 0) {
        job.headerLength = gathered;
        if (gathered < kHeaderReadLimit) return platform::kWsaEWouldBlock;
        // No byte more fits, so the blank line can never come: fail now rather than wait.
        platform::SetLastErrorCode(platform::kWsaEMsgSize);
        return -1;
    }
    const int32_t headEnd = blank + 4;
    ParseHead(job, headEnd);
    count = gathered - headEnd;
    std::memcpy(buffer, job.headerBuffer + headEnd, static_cast<size_t>(count));
    job.contentLength = ReadDecimal(job.response.GetField("Content-Length"), INT64_MIN, INT64_MAX);
    job.statusCode = static_cast<int32_t>(ReadDecimal(job.response.GetUri(), INT32_MIN, INT32_MAX));
    job.headerComplete = 1;
    return 0;
}

}  // namespace

int32_t ReceiveResponseData(DownloadJob& job, char* buffer, int32_t& count) {
    if (!job.headerComplete) return ReceiveHead(job, buffer, count);
    const int32_t read = platform::ReceiveFromSocket(job.socket, buffer, kBodyReadLimit);
    if (read < 0) return -1;
    count += read;
    return 0;
}
