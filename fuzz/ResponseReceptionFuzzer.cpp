// ReceiveResponseData on any byte stream, delivered through a socket pair in pieces whose sizes
// the fuzzer chooses. The stream is then checked against what the engine made of it:
//   - the head is complete exactly when the stream's first blank line ends within 8192 bytes,
//     and every byte after it is delivered as body, in order, none twice and none lost;
//   - a stream that fills 8192 bytes without that blank line fails with 10040 and nothing more;
//   - no call delivers more than 8192 body bytes, and the head's values never change later.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/DownloadJob.h"
#include "download/HttpResponse.h"
#include "platform/ErrorCodes.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

struct Reception {
    DownloadJob job;
    int peer = -1;
    char buffer[kReceiveBufferSize];
    std::string body;
    bool failed = false;
    int64_t contentLength = 0;
    int32_t statusCode = 0;

    Reception() { InitDownloadJob(job); }
    ~Reception() {
        if (job.socket >= 0) ::close(job.socket);
        if (peer >= 0) ::close(peer);
        FreeDownloadJob(job);
    }

    // Calls the engine as the worker does on FD_READ until the socket has nothing more.
    void Drain(bool peerClosed) {
        while (!failed) {
            const bool headWasComplete = job.headerComplete != 0;
            int32_t count = 0;
            const int32_t result = ReceiveResponseData(job, buffer, count);
            Check(count >= 0 && count <= kBodyReadLimit);
            Check(job.headerLength >= 0 && job.headerLength <= kHeaderReadLimit);
            if (result == -1) {
                const int32_t code = platform::GetLastErrorCode();
                if (code == platform::kWsaEWouldBlock) return;
                Check(code == platform::kWsaEMsgSize && !job.headerComplete);
                failed = true;
                return;
            }
            if (result == platform::kWsaEWouldBlock) {
                Check(count == 0 && !job.headerComplete);
                if (peerClosed) return;
                continue;
            }
            Check(result == 0 && job.headerComplete);
            if (headWasComplete) {
                Check(job.statusCode == statusCode && job.contentLength == contentLength);
            } else {
                statusCode = job.statusCode;
                contentLength = job.contentLength;
            }
            body.append(buffer, static_cast<size_t>(count));
            if (count == 0 && peerClosed) return;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Reception reception;
    int fds[2];
    Check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds) == 0);
    reception.job.socket = fds[0];
    reception.peer = fds[1];

    std::string stream;
    while (input.remaining_bytes() > 0 && !reception.failed) {
        const size_t pieceSize = input.ConsumeIntegralInRange<size_t>(1, 3 * kBodyReadLimit);
        const std::string piece = input.ConsumeBytesAsString(pieceSize);
        Check(::write(reception.peer, piece.data(), piece.size()) == static_cast<ssize_t>(piece.size()));
        stream += piece;
        reception.Drain(false);
    }
    ::shutdown(reception.peer, SHUT_WR);
    reception.Drain(true);

    const size_t blank = stream.find("\r\n\r\n");
    const bool headFits = blank != std::string::npos && blank + 4 <= static_cast<size_t>(kHeaderReadLimit);
    if (headFits) {
        Check(reception.job.headerComplete && !reception.failed);
        Check(reception.body == stream.substr(blank + 4));
    } else {
        Check(!reception.job.headerComplete);
        Check(reception.failed == (stream.size() >= static_cast<size_t>(kHeaderReadLimit)));
        Check(reception.body.empty());
    }
    return 0;
}
