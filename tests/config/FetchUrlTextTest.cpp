// The configuration fetch against the scripted HTTP server and a real nginx, all on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "config/DeploymentValues.h"
#include "config/HttpTextRequest.h"
#include "download/DownloadJob.h"
#include "support/FullBacklogListener.h"
#include "support/NginxServer.h"
#include "support/ScratchFolder.h"
#include "support/ScriptedHttpServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Short limits for the failure paths, so the tests need not sit out the real ones.
constexpr FetchLimits kShortLimits{1'000, 1, 2'500, 1 << 20};

void RecordPiece(const char* text, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(text);
}

std::wstring UrlOf(const ScriptedHttpServer& server, const std::string& path = "/quarvex_fgt.ini") {
    return L"http://127.0.0.1:" + std::to_wstring(server.Port()) +
           std::wstring(path.begin(), path.end());
}

std::string Joined(const std::vector<std::string>& pieces) {
    std::string joined;
    for (const std::string& piece : pieces) joined += piece;
    return joined;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A loopback port where nothing listens: one that a server held a moment ago.
uint16_t ClosedPort() {
    ScriptedHttpServer server({Script()});
    return server.Port();
}

// The fetch must reach the servers of the test directly, whatever proxy the machine names.
class FetchTest : public testing::Test {
protected:
    ScopedNoProxy direct;
    std::vector<std::string> pieces;

    int32_t Fetch(const std::wstring& url, const FetchLimits& limits = kFetchLimits) {
        return FetchUrlText(RecordPiece, &pieces, url, limits);
    }
};

TEST_F(FetchTest, HandsABodyThatArrivesAtOnceToTheSinkInOneCall) {
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, "a=1\nb=2\nc=3\nd=4\n"))});
    ASSERT_TRUE(server.Started());
    EXPECT_EQ(Fetch(UrlOf(server)), 0);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a=1\nb=2\nc=3\nd=4\n"}));
}

TEST_F(FetchTest, HandsPiecesToTheSinkInTheOrderTheyArrive) {
    const std::string body = "a=1\nb=2\nc=3\nd=4\n";
    ScriptedHttpServer pieced({Script().ReadRequest()
                                   .Send(HttpResponse(200, "", false, "Content-Length: 16\r\n"))
                                   .Pause(100)
                                   .SendInPieces(body, 4, 250)});
    ASSERT_TRUE(pieced.Started());
    EXPECT_EQ(Fetch(UrlOf(pieced)), 0);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a=1\n", "b=2\n", "c=3\n", "d=4\n"}));
}

TEST_F(FetchTest, AnEmptyBodyMakesNoSinkCall) {
    for (const bool withLength : {true, false}) {
        ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, "", withLength)).Close()});
        EXPECT_EQ(Fetch(UrlOf(server)), 0) << "with Content-Length: " << withLength;
        EXPECT_TRUE(pieces.empty()) << "with Content-Length: " << withLength;
    }
}

TEST_F(FetchTest, AZeroByteEndsThePiecesText) {
    ScriptedHttpServer server(
        {Script().ReadRequest().Send(HttpResponse(200, std::string("a=1\n\0b=2\n", 9))).Pause(150).Close()});
    EXPECT_EQ(Fetch(UrlOf(server)), 0);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a=1\n"}));
}

TEST_F(FetchTest, AnErrorPageGoesToTheSinkAndCountsAsRead) {
    const std::string page = "<html><body>404 Not Found</body></html>";
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(404, page))});
    EXPECT_EQ(Fetch(UrlOf(server)), 0);
    EXPECT_EQ(Joined(pieces), page);
}

TEST_F(FetchTest, ABodyWithoutLengthIsReadUntilTheServerCloses) {
    ScriptedHttpServer server(
        {Script().ReadRequest().Send(HttpResponse(200, "a=1\n", false)).Pause(150).Send("b=2\n").Close()});
    EXPECT_EQ(Fetch(UrlOf(server)), 0);
    EXPECT_EQ(Joined(pieces), "a=1\nb=2\n");
}

TEST_F(FetchTest, APieceLongerThanThePieceTextArrivesWholeInParts) {
    std::string body(200'000, 0);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, body))});
    EXPECT_EQ(Fetch(UrlOf(server)), 0);
    EXPECT_EQ(Joined(pieces), body);
    for (const std::string& piece : pieces) EXPECT_LT(piece.size(), kPieceTextSize);
}

TEST_F(FetchTest, FollowsARedirectLikeTheSystemClient) {
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(302, "moved", true, "Location: /moved.ini\r\n")),
                               Script().ReadRequest().Send(HttpResponse(200, "a=moved\n"))});
    EXPECT_EQ(Fetch(UrlOf(server)), 0);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a=moved\n"}));
    EXPECT_EQ(server.Request(server.ConnectionCount() - 1).rfind("GET /moved.ini HTTP/1.0\r\n", 0), 0u)
        << server.Request(server.ConnectionCount() - 1);
}

// The request as it arrived: the path, "?", the local time in ctime form with its spaces and
// line feed escaped, HTTP/1.0, the user agent, and no body after the head.
TEST_F(FetchTest, SendsTheRequestLineAndAgentOfTheSystemClient) {
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, "a=1\n"))});
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(Fetch(UrlOf(server)), 0);
    const std::time_t after = std::time(nullptr);
    ASSERT_TRUE(server.WaitForConnectionEnd(0, 5'000));
    const std::string request = server.Request(0);
    const size_t lineEnd = request.find("\r\n");
    ASSERT_NE(lineEnd, std::string::npos) << request;
    const std::string requestLine = request.substr(0, lineEnd);

    std::vector<std::string> expectedLines;
    for (std::time_t t = before; t <= after; ++t)
        expectedLines.push_back("GET /quarvex_fgt.ini?" + EscapeObjectName(FormatTimeText(*std::localtime(&t))) +
                                " HTTP/1.0");
    EXPECT_NE(std::find(expectedLines.begin(), expectedLines.end(), requestLine), expectedLines.end())
        << requestLine;
    EXPECT_TRUE(std::regex_match(requestLine, std::regex(R"(GET /quarvex_fgt\.ini\?[A-Z][a-z]{2}%20[A-Z][a-z]{2}%20)"
                                                         R"(\d\d%20\d\d:\d\d:\d\d%20\d{4}%0A HTTP/1\.0)")))
        << requestLine;
    EXPECT_NE(request.find("\r\nUser-Agent: Download\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nConnection: Keep-Alive\r\n"), std::string::npos) << request;
    EXPECT_EQ(request.find("\r\n\r\n"), request.size() - 4) << "a body followed the head";
}

TEST_F(FetchTest, KeepsAQueryOfTheUrlBeforeTheTimeText) {
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, "a=1\n"))});
    ASSERT_EQ(Fetch(UrlOf(server, "/dir/a.ini?x=1")), 0);
    ASSERT_TRUE(server.WaitForConnectionEnd(0, 5'000));
    EXPECT_EQ(server.Request(0).rfind("GET /dir/a.ini?x=1?", 0), 0u) << server.Request(0);
}

TEST_F(FetchTest, GoesThroughTheProxyNamedByTheEnvironment) {
    ScriptedHttpServer proxy({Script().ReadRequest().Send(HttpResponse(200, "a=proxied\n"))});
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
    ScopedEnv useProxy("http_proxy", proxyUrl.c_str());
    // The name is never resolved: the proxy is asked for it.
    EXPECT_EQ(Fetch(L"http://config.invalid/quarvex_fgt.ini"), 0);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a=proxied\n"}));
    EXPECT_EQ(proxy.Request(0).rfind("GET http://config.invalid/quarvex_fgt.ini?", 0), 0u) << proxy.Request(0);
}

struct FailureCase {
    const char* name;
    Script script;
    std::string delivered;  // what reached the sink before the failure
    bool someOfIt = false;  // only a part of delivered, at least its first byte, depending on timing
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FetchFailureTest : public FetchTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(FetchFailureTest, ReturnsMinusOneAndKeepsWhatArrivedBefore) {
    ScriptedHttpServer server({GetParam().script});
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Fetch(UrlOf(server), kShortLimits), -1);
    EXPECT_LT(SecondsSince(start), 2.5 + 1.0) << "the short total limit did not hold";
    const std::string joined = Joined(pieces);
    if (GetParam().someOfIt) {
        EXPECT_FALSE(joined.empty());
        EXPECT_EQ(GetParam().delivered.substr(0, joined.size()), joined);
    } else {
        EXPECT_EQ(joined, GetParam().delivered);
    }
}

std::string Trickle(int bytes) {
    std::string text;
    for (int i = 0; i < bytes; ++i) text += static_cast<char>('a' + i % 26);
    return text;
}

INSTANTIATE_TEST_SUITE_P(Peers, FetchFailureTest, testing::Values(
    FailureCase{"ClosedBeforeAnswering", Script().ReadRequest().Close(), ""},
    FailureCase{"ResetBeforeAnswering", Script().ReadRequest().Reset(), ""},
    // libcurl takes a head cut short by the close for a whole answer without a body.
    FailureCase{"ClosedInsideTheHead", Script().ReadRequest().Send("HTTP/1.1 200 OK\r\nContent-Le").Close(), ""},
    FailureCase{"ClosedBeforeTheBodyEnded",
                Script().ReadRequest().Send(HttpResponse(200, "", false, "Content-Length: 100\r\n")).Pause(100)
                    .Send("a=1\n").Close(), "a=1\n"},
    FailureCase{"ResetInsideTheBody",
                Script().ReadRequest().Send(HttpResponse(200, "", false, "Content-Length: 100\r\n")).Pause(100)
                    .Send("a=1\n").Pause(300).Reset(), "a=1\n"},
    FailureCase{"SilentAfterTheRequest", Script().ReadRequest().Hold(), ""},
    FailureCase{"SilentInsideTheBody",
                Script().ReadRequest().Send(HttpResponse(200, "", false, "Content-Length: 100\r\n")).Pause(100)
                    .Send("a=1\n").Hold(), "a=1\n"},
    // Fast enough never to stall, too slow to end within the total limit.
    FailureCase{"TricklingPastTheTotalLimit",
                Script().ReadRequest().Send(HttpResponse(200, "", false, "Content-Length: 100\r\n"))
                    .SendInPieces(Trickle(40), 1, 200), Trickle(39), true},
    FailureCase{"NotHttp", Script().ReadRequest().Send("hello\r\n\r\n").Close(), ""},
    // Every connection gets the same script: the redirect never ends.
    FailureCase{"RedirectLoop",
                Script().ReadRequest().Send(HttpResponse(302, "", true, "Location: /again\r\n")), ""},
    FailureCase{"RedirectToHttps",
                Script().ReadRequest().Send(HttpResponse(301, "", true, "Location: https://127.0.0.1:1/\r\n")), ""}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(FetchTest, AClosedPortFailsWithoutASinkCall) {
    EXPECT_EQ(Fetch(L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/quarvex_fgt.ini"), -1);
    EXPECT_TRUE(pieces.empty());
}

// A host that never completes the connection is given up after the connect limit, long before
// the total limit.
TEST_F(FetchTest, AConnectionThatNeverCompletesIsGivenUpAfterTheConnectLimit) {
    FullBacklogListener listener;
    ASSERT_TRUE(listener.Started());
    const FetchLimits limits{1'000, 10, 20'000, 1 << 20};
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Fetch(L"http://127.0.0.1:" + std::to_wstring(listener.Port()) + L"/quarvex_fgt.ini", limits), -1);
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 0.9) << "the connection did not hang: the test shows nothing";
    EXPECT_LE(seconds, 3.0) << "the connect limit did not end the fetch";
    EXPECT_TRUE(pieces.empty());
}

TEST_F(FetchTest, AnUnusableHostOrPortFailsWithoutASinkCall) {
    for (const wchar_t* url : {L"http:/a", L"http://127.0.0.1:x/a", L"http://127.0.0.1:70000/a",
                               L"http://127.0.0.1:-80/a", L"http://host:/a", L"http://bad host/a"}) {
        EXPECT_EQ(Fetch(url, kShortLimits), -1) << url;
    }
    EXPECT_TRUE(pieces.empty());
}

TEST_F(FetchTest, ABodyBeyondTheSizeLimitFails) {
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, std::string(5'000, 'x')))});
    FetchLimits limits = kFetchLimits;
    limits.maxBodyBytes = 4'096;
    EXPECT_EQ(Fetch(UrlOf(server), limits), -1);
    EXPECT_LE(Joined(pieces).size(), 4'096u);
}

// The real limits: a server that accepts and then says nothing holds the start-up for the stall
// limit, well inside the half minute that the start-up may be held at most.
TEST_F(FetchTest, ASilentServerIsGivenUpWithinTheRealLimits) {
    ScriptedHttpServer server({Script().ReadRequest().Hold()});
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Fetch(UrlOf(server)), -1);
    const double seconds = SecondsSince(start);
    EXPECT_LE(seconds, kFetchLimits.totalMs / 1000.0 + 1.0);
    // libcurl notices a stall on its once-a-second check.
    EXPECT_LE(seconds, kFetchLimits.stallSeconds + 3.0) << "the stall limit did not end the fetch";
    EXPECT_TRUE(pieces.empty());
}

// A sink that runs out of memory: the exception reaches the caller once libcurl has been wound
// up, and the handles are closed on the way out (the sanitizer build reports any leak).
TEST_F(FetchTest, AnExceptionFromTheSinkReachesTheCallerWithEverythingClosed) {
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, "a=1\n"))});
    const TextSink throwingSink = [](const char*, void*) { throw std::bad_alloc(); };
    EXPECT_THROW(FetchUrlText(throwingSink, nullptr, UrlOf(server)), std::bad_alloc);
}

class LoadConfigurationTest : public FetchTest {
protected:
    LoadConfigurationTest() { InitDownloadJob(job); }
    ~LoadConfigurationTest() override { FreeDownloadJob(job); }

    DownloadJob job{};
    ConfigurationState state;
};

TEST_F(LoadConfigurationTest, FillsTheJobAndFormsTheArgumentText) {
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, "a=1\r\nb=2\r\nc=3\r\nd=4\r\n"))});
    LoadConfiguration(job, state, UrlOf(server));
    EXPECT_EQ(job.serverPort, deployment::kDownloadPort);
    EXPECT_EQ(job.requestPath, "/download/quarvex/quarvex.cab");
    EXPECT_EQ(job.folderName, "Quarvex");
    EXPECT_EQ(job.hostName, deployment::kDownloadHost);
    EXPECT_EQ(job.hostHeader, deployment::kDownloadHost);
    EXPECT_EQ(state.configText, L"a=1\r\nb=2\r\nc=3\r\nd=4\r\n");
    EXPECT_EQ(state.launcherArguments, "|1|23|4");
}

TEST_F(LoadConfigurationTest, ATextInSeveralPiecesGivesTheSameArgumentsAsOnePiece) {
    const std::string body = "server=\xEC\x84\x9C\xEB\xB2\x84 1\nport = 7000\nlocale=ko\nmode=live\n";
    ScriptedHttpServer whole({Script().ReadRequest().Send(HttpResponse(200, body))});
    ScriptedHttpServer pieced({Script().ReadRequest()
                                   .Send(HttpResponse(200, "", false, "Content-Length: " + std::to_string(body.size()) +
                                                                          "\r\n"))
                                   .Pause(100)
                                   .SendInPieces(body, 5, 60)});
    ConfigurationState wholeState;
    LoadConfiguration(job, wholeState, UrlOf(whole));
    LoadConfiguration(job, state, UrlOf(pieced));
    EXPECT_EQ(wholeState.launcherArguments, "|\xEC\x84\x9C\xEB\xB2\x84 1|7000ko|live");
    EXPECT_EQ(state.launcherArguments, wholeState.launcherArguments);
    EXPECT_EQ(state.configText, wholeState.configText);
}

TEST_F(LoadConfigurationTest, AFailedFetchLeavesTheArgumentTextEmpty) {
    ScriptedHttpServer server({Script().ReadRequest()
                                   .Send(HttpResponse(200, "", false, "Content-Length: 100\r\n"))
                                   .Pause(100)
                                   .Send("a=1\nb=2\nc=3\nd=4\n")
                                   .Close()});
    LoadConfiguration(job, state, UrlOf(server), kShortLimits);
    EXPECT_EQ(state.configText, L"a=1\nb=2\nc=3\nd=4\n");
    EXPECT_EQ(state.launcherArguments, "");
    EXPECT_EQ(job.folderName, "Quarvex") << "the fixed settings are filled whatever the fetch gives";
}

TEST_F(LoadConfigurationTest, AnUnreachableServerLeavesTheArgumentTextEmpty) {
    LoadConfiguration(job, state, L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/quarvex_fgt.ini");
    EXPECT_EQ(state.configText, L"");
    EXPECT_EQ(state.launcherArguments, "");
    EXPECT_EQ(job.serverPort, deployment::kDownloadPort);
}

TEST(ConfigurationUrlTest, NamesTheConfigurationFileOnTheConfigurationHost) {
    EXPECT_EQ(ConfigurationUrl(), L"http://" + std::wstring(deployment::kConfigurationHost,
                                                            deployment::kConfigurationHost +
                                                                sizeof deployment::kConfigurationHost - 1) +
                                      L"/quarvex_fgt.ini");
}

TEST_F(LoadConfigurationTest, ReadsARealConfigurationFileFromNginx) {
    if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed (scripts/install-deps installs it)";
    ScratchFolder scratch;
    std::filesystem::create_directories(scratch.Path("www"));
    std::ofstream(scratch.Path("www/quarvex_fgt.ini"), std::ios::binary)
        << "[server]=game.example.kr\r\nport=7101\r\nchannel=\xEB\xB3\xB8\xEC\x84\x9C\xEB\xB2\x84\r\n"
           "option=-fast=1\r\nignored=yes\r\n";
    NginxServer nginx(scratch.Path("www"));
    ASSERT_TRUE(nginx.Started()) << nginx.ErrorLog();
    LoadConfiguration(job, state, L"http://127.0.0.1:" + std::to_wstring(nginx.Port()) + L"/quarvex_fgt.ini");
    EXPECT_EQ(state.launcherArguments, "|game.example.kr|7101\xEB\xB3\xB8\xEC\x84\x9C\xEB\xB2\x84|-fast=1");
}

}  // namespace
