// The event-select rules of the socket layer over real loopback connections: each network
// event is armed, reported once, and armed again only by the call that consumes it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "platform/ErrorCodes.h"
#include "platform/Events.h"
#include "platform/Sockets.h"
#include "support/Loopback.h"
#include "support/ReadableText.h"

namespace {

using namespace platform;

constexpr uint32_t kAll = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
constexpr uint32_t kQuietMs = 60;  // long enough for loopback to deliver anything pending

class Listener {
  public:
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        port = BindToLoopback(fd);
        ::listen(fd, 4);
    }
    ~Listener() { ::close(fd); }
    int Accept() { return ::accept(fd, nullptr, nullptr); }
    int fd;
    uint16_t port;
};

// A selected, connected client socket and the server's end of its connection.
class Connected : public testing::Test {
  protected:
    void SetUp() override {
        event = CreateManualResetEvent();
        client = OpenTcpSocket();
        ASSERT_TRUE(SelectNetworkEvents(client, event, kAll));
        const int32_t result = ConnectSocket(client, ParseIPv4Address("127.0.0.1"), listener.port);
        ASSERT_TRUE(result == 0 || result == kWsaEWouldBlock) << result;
        server = listener.Accept();
        ASSERT_EQ(WaitForEventOrMessage(event, 2000), kWaitEvent);
        int32_t connectError = -1;
        ASSERT_EQ(EnumNetworkEvents(client, event, &connectError), FD_CONNECT | FD_WRITE);
        ASSERT_EQ(connectError, 0);
    }
    void TearDown() override {
        CloseSocketHandle(client);
        if (server >= 0) ::close(server);
        CloseEvent(event);
    }

    // The events reported by the next wake-up, or 0 when the socket stays quiet.
    uint32_t NextEvents(uint32_t timeoutMs = kQuietMs) {
        if (WaitForEventOrMessage(event, timeoutMs) != kWaitEvent) return 0;
        return EnumNetworkEvents(client, event);
    }

    Listener listener;
    int event = -1;
    int client = -1;
    int server = -1;
};

TEST_F(Connected, AnAlwaysWritableSocketReportsFdWriteOnlyOnce) {
    EXPECT_EQ(NextEvents(), 0u);
    size_t sent = 0;
    ASSERT_EQ(SendOnSocket(client, "abc", 3, &sent), 0);
    EXPECT_EQ(sent, 3u);
    EXPECT_EQ(NextEvents(), 0u) << "a send that did not block arms nothing";
}

TEST_F(Connected, FdReadComesAgainAfterEachReadWhileDataRemains) {
    ASSERT_EQ(::send(server, "0123456789", 10, 0), 10);
    EXPECT_EQ(NextEvents(2000), FD_READ);
    EXPECT_EQ(NextEvents(), 0u) << "not read yet: not reported again";
    char buffer[16];
    ASSERT_EQ(ReceiveFromSocket(client, buffer, 4), 4);
    EXPECT_EQ(NextEvents(2000), FD_READ);
    ASSERT_EQ(ReceiveFromSocket(client, buffer, 16), 6);
    EXPECT_EQ(NextEvents(), 0u);
    EXPECT_EQ(ReceiveFromSocket(client, buffer, 16), -1);
    EXPECT_EQ(GetLastErrorCode(), kWsaEWouldBlock);
}

TEST_F(Connected, APeersCloseIsReportedOnceAndThenTheSocketIsSilent) {
    ASSERT_EQ(::send(server, "xy", 2, 0), 2);
    ::close(server);
    server = -1;
    EXPECT_EQ(NextEvents(2000), FD_READ | FD_CLOSE);
    char buffer[16];
    ASSERT_EQ(ReceiveFromSocket(client, buffer, 16), 2);
    EXPECT_EQ(NextEvents(2000), FD_READ) << "the close is still to be read";
    ASSERT_EQ(ReceiveFromSocket(client, buffer, 16), 0);
    EXPECT_EQ(NextEvents(), 0u) << "after the read of 0 nothing may wake the owner again";
}

TEST_F(Connected, FdWriteComesAgainOnlyAfterASendWouldBlock) {
    const std::string chunk(65536, 'z');
    size_t sent = 0;
    int32_t result;
    while ((result = SendOnSocket(client, chunk.data(), chunk.size(), &sent)) == 0) {
    }
    ASSERT_EQ(result, kWsaEWouldBlock);
    EXPECT_EQ(NextEvents(), 0u) << "nothing drained yet";
    char buffer[65536];
    for (int i = 0; i < 64; ++i) {
        if (::recv(server, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) break;
    }
    EXPECT_EQ(NextEvents(2000) & FD_WRITE, FD_WRITE);
}

TEST_F(Connected, EnumeratingResetsAnEventThatWasSet) {
    SetEventSignal(event);
    EXPECT_EQ(WaitForEventOrMessage(event, 0), kWaitEvent);
    EXPECT_EQ(EnumNetworkEvents(client, event), 0u);
    EXPECT_EQ(WaitForEvent(event, 0), kWaitTimeout);
}

TEST_F(Connected, SendToAResetPeerReportsConnectionReset) {
    const linger hard{1, 0};
    ::setsockopt(server, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(server);
    server = -1;
    EXPECT_NE(NextEvents(2000) & FD_CLOSE, 0u);
    size_t sent = 0;
    EXPECT_EQ(SendOnSocket(client, "a", 1, &sent), 10054);
}

TEST(SocketEvents, RefusedAttemptReportsFdConnectWithItsErrorAndNoFdWrite) {
    uint16_t port;
    {
        Listener gone;
        port = gone.port;
    }
    const int event = CreateManualResetEvent();
    const int client = OpenTcpSocket();
    ASSERT_TRUE(SelectNetworkEvents(client, event, kAll));
    const int32_t result = ConnectSocket(client, ParseIPv4Address("127.0.0.1"), port);
    if (result == kWsaEWouldBlock) {
        ASSERT_EQ(WaitForEventOrMessage(event, 2000), kWaitEvent);
        int32_t connectError = 0;
        EXPECT_EQ(EnumNetworkEvents(client, event, &connectError), FD_CONNECT);
        EXPECT_EQ(connectError, 10061);
        EXPECT_EQ(WaitForEventOrMessage(event, kQuietMs), kWaitTimeout)
            << "a failed socket stays quiet";
    } else {
        EXPECT_EQ(result, 10061);
    }
    CloseSocketHandle(client);
    CloseEvent(event);
}

TEST(SocketEvents, ConnectToTheNoneAddressFailsAtOnce) {
    const int client = OpenTcpSocket();
    const int event = CreateManualResetEvent();
    SelectNetworkEvents(client, event, kAll);
    const int32_t result = ConnectSocket(client, kInaddrNone, 80);
    EXPECT_NE(result, 0);
    EXPECT_NE(result, kWsaEWouldBlock);
    EXPECT_EQ(GetLastErrorCode(), result);
    CloseSocketHandle(client);
    CloseEvent(event);
}

struct AddressCase {
    const char* text;
    uint32_t hostOrder;
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << ReadableText(c.text); }

class AddressTexts : public testing::TestWithParam<AddressCase> {};

TEST_P(AddressTexts, ReadLikeInetAddr) {
    EXPECT_EQ(ntohl(ParseIPv4Address(GetParam().text)), GetParam().hostOrder) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, AddressTexts,
    testing::Values(AddressCase{"127.0.0.1", 0x7F000001}, AddressCase{"127.1", 0x7F000001},
                    AddressCase{"0x7f.0.0.1", 0x7F000001}, AddressCase{"10.0.0.010", 0x0A000008},
                    AddressCase{"cdn.example.com", kInaddrNone}, AddressCase{"", kInaddrNone},
                    AddressCase{"256.0.0.1", kInaddrNone},
                    AddressCase{"255.255.255.255", kInaddrNone}));

TEST(SocketEvents, ResolvesNamesAndDottedAddressesToDottedText) {
    EXPECT_EQ(ResolveIPv4Host("127.0.0.1"), std::optional<std::string>("127.0.0.1"));
    EXPECT_EQ(ResolveIPv4Host("localhost"), std::optional<std::string>("127.0.0.1"));
}

TEST(SocketEvents, BuffersCanBeSetAndAHardCloseResetsThePeer) {
    Listener listener;
    const int client = OpenTcpSocket();
    ASSERT_TRUE(SetReceiveBufferSize(client, 65536));
    ASSERT_TRUE(SetSendBufferSize(client, 65536));
    int size = 0;
    socklen_t length = sizeof size;
    ::getsockopt(client, SOL_SOCKET, SO_RCVBUF, &size, &length);
    EXPECT_GE(size, 65536);
    ASSERT_EQ(ConnectSocket(client, ParseIPv4Address("127.0.0.1"), listener.port), 0);  // blocking
    const int server = listener.Accept();
    ASSERT_TRUE(SetHardClose(client));
    ShutdownSocket(client);
    CloseSocketHandle(client);
    // The shutdown sends the end of the stream; the close that follows resets the connection,
    // so the peer's very first send fails (after a graceful close it would still succeed).
    char buffer[4];
    EXPECT_EQ(::recv(server, buffer, sizeof buffer, 0), 0);
    EXPECT_EQ(::send(server, "x", 1, MSG_NOSIGNAL), -1);
    EXPECT_TRUE(errno == EPIPE || errno == ECONNRESET) << errno;
    ::close(server);
}

}  // namespace
