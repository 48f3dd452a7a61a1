// The request on the wire and the reception of a response head and body, over a local socket
// pair: the test writes the peer's bytes, then calls the engine once per read.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "download/DownloadJob.h"
#include "download/HttpRequest.h"
#include "download/HttpResponse.h"
#include "platform/ErrorCodes.h"
#include "support/ReadableText.h"

namespace {

class SocketPair : public testing::Test {
  protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        InitDownloadJob(job);
        job.socket = fds[0];
        peer = fds[1];
    }
    void TearDown() override {
        ::close(job.socket);
        if (peer >= 0) ::close(peer);
        FreeDownloadJob(job);
    }

    void PeerSends(const std::string& bytes) {
        ASSERT_EQ(::write(peer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::string PeerReads() {
        char buffer[4096];
        const ssize_t n = ::read(peer, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }
    // One call as the worker makes it; the delivered body bytes land in body.
    int32_t Receive() {
        count = 0;
        const int32_t result = ReceiveResponseData(job, buffer, count);
        body.assign(buffer, static_cast<size_t>(count > 0 ? count : 0));
        return result;
    }

    // Sends bytes at once and receives until the head is complete or has failed.
    int32_t ReceiveUntilDecided(const std::string& bytes) {
        PeerSends(bytes);
        int32_t result;
        do {
            result = Receive();
        } while (result == platform::kWsaEWouldBlock);
        return result;
    }

    DownloadJob job;
    int peer = -1;
    char buffer[kReceiveBufferSize];
    int32_t count = 0;
    std::string body;
};

TEST_F(SocketPair, RequestBytesOnTheWire) {
    ASSERT_EQ(SendRequest(job, "/down load/q.cab", "cdn.example:8080"), 0);
    EXPECT_EQ(
        PeerReads(),
        "GET /down%20load/q.cab HTTP/1.1\r\n"
        "Accept: text/html, application/xhtml+xml, */*\r\n"
        "Accept-Language: ko-KR\r\n"
        "User-Agent: Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; WOW64; Trident/6.0)\r\n"
        "Accept-Encoding: gzip, deflate\r\n"
        "Host: cdn.example:8080\r\n"
        "Connection: Close\r\n"
        "Cache-Control: no-cache\r\n"
        "\r\n");
}

TEST_F(SocketPair, EmptyPathGivesTwoSpacesInTheRequestLine) {
    ASSERT_EQ(SendRequest(job, "", "h"), 0);
    EXPECT_EQ(PeerReads().substr(0, 15), "GET  HTTP/1.1\r\n");
}

TEST_F(SocketPair, SendToAClosedPeerReportsTheSocketError) {
    ::close(peer);
    peer = -1;
    const int32_t result = SendRequest(job, "/x", "h");
    EXPECT_EQ(result, 10054);  // and no SIGPIPE ended the test
}

TEST_F(SocketPair, HeadAndBodyInOneRead) {
    PeerSends("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123");
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(body, "0123");
    EXPECT_EQ(job.statusCode, 200);
    EXPECT_EQ(job.contentLength, 10);
    EXPECT_EQ(job.headerComplete, 1);
    EXPECT_EQ(job.response.GetVersion(), "OK");
    PeerSends("456789");
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(body, "456789");
}

TEST_F(SocketPair, HeadEndingWithTheReadDeliversNoBody) {
    PeerSends("HTTP/1.1 206 Partial\r\n\r\n");
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(job.statusCode, 206);
    EXPECT_EQ(job.contentLength, 0);
}

TEST_F(SocketPair, BlankLineSplitAcrossReadsIsFound) {
    PeerSends("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n");
    ASSERT_EQ(Receive(), platform::kWsaEWouldBlock);
    EXPECT_EQ(job.headerLength, 36);
    PeerSends("\r\nabc");
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(body, "abc");
    EXPECT_EQ(job.contentLength, 3);
    EXPECT_EQ(job.headerLength, 36);  // kept from before the completing read
}

TEST_F(SocketPair, BareLineFeedsNeverCompleteAndAClosedPeerStillWaits) {
    PeerSends("HTTP/1.1 200 OK\nContent-Length: 3\n\nabc");
    EXPECT_EQ(Receive(), platform::kWsaEWouldBlock);
    ::shutdown(peer, SHUT_WR);
    EXPECT_EQ(Receive(), platform::kWsaEWouldBlock);  // read 0: still only "not yet"
    EXPECT_EQ(job.headerComplete, 0);
}

TEST_F(SocketPair, ZeroByteInTheHeadEndsTheParsedText) {
    static constexpr char kBytes[] = "HTTP/1.1 200 OK\r\nX: a\0b\r\nContent-Length: 7\r\n\r\nbody";
    PeerSends(std::string(kBytes, sizeof kBytes - 1));
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(job.statusCode, 200);
    EXPECT_EQ(job.contentLength, 0);  // the field after the zero byte is never seen
    EXPECT_EQ(body, "body");
}

TEST_F(SocketPair, FullHeadBufferWithoutBlankLineFailsWithMessageSize) {
    EXPECT_EQ(ReceiveUntilDecided("HTTP/1.1 200 OK\r\nX: " + std::string(kHeaderReadLimit, 'a')),
              -1);
    EXPECT_EQ(platform::GetLastErrorCode(), platform::kWsaEMsgSize);
    EXPECT_EQ(job.headerLength, kHeaderReadLimit);
}

TEST_F(SocketPair, FullHeadEndingInTheLastBytesIsAccepted) {
    const std::string start = "HTTP/1.1 200 OK\r\nX: ";
    const std::string head =
        start + std::string(kHeaderReadLimit - start.size() - 4, 'a') + "\r\n\r\n";
    ASSERT_EQ(head.size(), static_cast<size_t>(kHeaderReadLimit));
    EXPECT_EQ(ReceiveUntilDecided(head), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(job.statusCode, 200);
}

TEST_F(SocketPair, BodyReadsStopAt8192Bytes) {
    PeerSends("HTTP/1.1 200 OK\r\n\r\n");
    ASSERT_EQ(Receive(), 0);
    PeerSends(std::string(20000, 'b'));
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(count, kBodyReadLimit);
}

TEST_F(SocketPair, FailedReadReturnsMinusOneWithTheErrorAndChangesNothing) {
    const int socket = job.socket;
    job.socket = -1;  // not a socket at all
    EXPECT_EQ(Receive(), -1);
    EXPECT_EQ(platform::GetLastErrorCode(), 10038);  // WSAENOTSOCK
    EXPECT_EQ(job.headerLength, 0);
    EXPECT_EQ(job.headerComplete, 0);
    job.socket = socket;
}

struct NumberCase {
    std::string head;
    int64_t contentLength;
    int32_t statusCode;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << ReadableText(c.head); }

class ResponseNumbers : public SocketPair, public testing::WithParamInterface<NumberCase> {};

TEST_P(ResponseNumbers, ContentLengthAndStatus) {
    PeerSends(GetParam().head);
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(job.contentLength, GetParam().contentLength);
    EXPECT_EQ(job.statusCode, GetParam().statusCode);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ResponseNumbers,
    testing::Values(
        NumberCase{"HTTP/1.1 200 OK\r\ncontent-length: 1234\r\n\r\n", 1234, 200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\n", 0, 200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n", 12, 200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\n", 0, 200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 2, 200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length: +7\r\n\r\n", 7, 200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length: -7\r\n\r\n", -7, 200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length: 5000000000\r\n\r\n", 5000000000LL, 200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", INT64_MAX,
                   200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length: -99999999999999999999\r\n\r\n", INT64_MIN,
                   200},
        NumberCase{"HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\n", INT64_MAX,
                   200},
        NumberCase{"HTTP/1.1 99999999999 OK\r\n\r\n", 0, INT32_MAX},
        NumberCase{"HTTP/1.1 -2147483648 OK\r\n\r\n", 0, INT32_MIN},
        NumberCase{"HTTP/1.1 OK 200\r\n\r\n", 0, 0}, NumberCase{"HTTP/1.1 200\r\n\r\n", 0, 0},
        NumberCase{"HTTP/1.1 200 OK\r\nURI: 404\r\n\r\n", 0, 404}));

}  // namespace
