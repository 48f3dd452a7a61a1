// The test peers themselves: what the scripted server plays and records, and that nginx serves.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "support/Loopback.h"
#include "support/NginxServer.h"
#include "support/ScratchFolder.h"
#include "support/ScriptedHttpServer.h"

namespace {

// A blocking client: sends request, reads until the peer closes. readError gets errno of a
// failed read (0 after an orderly close).
std::string Exchange(uint16_t port, const std::string& request, int* readError = nullptr) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = LoopbackAddress(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return "<no connection>";
    }
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (readError) *readError = n < 0 ? errno : 0;
            break;
        }
        reply.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return reply;
}

TEST(ScriptedHttpServer, PlaysItsScriptAndRecordsTheRequestBytes) {
    const std::string response = HttpResponse(200, "0123456789");
    ScriptedHttpServer server({Script().ReadRequest().SendInPieces(response, 7, 20)});
    ASSERT_TRUE(server.Started());
    const std::string request = "GET /x HTTP/1.1\r\nHost: h\r\n\r\n";
    EXPECT_EQ(Exchange(server.Port(), request), response);
    ASSERT_TRUE(server.WaitForConnectionEnd(0, 5000));
    EXPECT_EQ(server.Request(0), request);
    EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST(ScriptedHttpServer, TheLastScriptServesFurtherConnections) {
    ScriptedHttpServer server(
        {Script().ReadRequest().Send("first"), Script().ReadRequest().Send("again")});
    ASSERT_TRUE(server.Started());
    EXPECT_EQ(Exchange(server.Port(), "A\r\n\r\n"), "first");
    EXPECT_EQ(Exchange(server.Port(), "B\r\n\r\n"), "again");
    EXPECT_EQ(Exchange(server.Port(), "C\r\n\r\n"), "again");
    ASSERT_TRUE(server.WaitForConnectionEnd(2, 5000));
    EXPECT_EQ(server.Request(2), "C\r\n\r\n");
}

TEST(ScriptedHttpServer, ResetIsSeenAsAConnectionReset) {
    ScriptedHttpServer server({Script().ReadRequest().Pause(50).Reset()});
    ASSERT_TRUE(server.Started());
    int readError = -1;
    EXPECT_EQ(Exchange(server.Port(), "GET / HTTP/1.1\r\n\r\n", &readError), "");
    EXPECT_EQ(readError, ECONNRESET);
}

TEST(NginxServer, ServesAFolderByteForByte) {
    if (!NginxServer::Available()) GTEST_SKIP() << "no /usr/sbin/nginx on this machine";
    ScratchFolder scratch;
    std::string content(300000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
    std::ofstream(scratch.Path("file.bin"), std::ios::binary) << content;
    NginxServer nginx(scratch.Path(""));
    ASSERT_TRUE(nginx.Started()) << nginx.ErrorLog();
    const std::string reply =
        Exchange(nginx.Port(), "GET /file.bin HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    ASSERT_EQ(reply.compare(0, 15, "HTTP/1.1 200 OK"), 0) << reply.substr(0, 200);
    const size_t bodyAt = reply.find("\r\n\r\n");
    ASSERT_NE(bodyAt, std::string::npos);
    EXPECT_TRUE(reply.substr(bodyAt + 4) == content);
}

}  // namespace
