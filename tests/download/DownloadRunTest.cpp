// Whole runs of the worker against the scripted server: every slot call in order, the file, the
// request on the wire, and each way a run can end.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "download/Connection.h"
#include "download/DownloadRunHarness.h"
#include "download/HttpRequest.h"
#include "platform/Events.h"
#include "platform/Sockets.h"
#include "platform/Threads.h"
#include "support/NginxServer.h"
#include "support/ScriptedHttpServer.h"
#include "support/SilenceLimitGuard.h"

namespace {

using Trace = std::vector<std::string>;

constexpr uint32_t kShortSilenceMs = 400;
constexpr int kPieceGapMs = 120;  // long enough that every piece arrives in a read of its own

const std::string kExpectedRequest =
    "GET /download/quarvex/quarvex.cab HTTP/1.1\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\n"
    "Accept-Language: ko-KR\r\n"
    "User-Agent: Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; WOW64; Trident/6.0)\r\n"
    "Accept-Encoding: gzip, deflate\r\n"
    "Host: 127.0.0.1\r\n"
    "Connection: Close\r\n"
    "Cache-Control: no-cache\r\n"
    "\r\n";

std::string Bytes(size_t count, int seed = 1) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 31 + seed * 7 + i / 97) & 0xFF);
    return bytes;
}

struct RunCase {
    const char* name;
    Script script;
    Trace trace;
    std::string file;  // the output file afterwards
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kMissing = "<missing>";  // no piece was appended, so there is no file

const std::string kBody = Bytes(30);

std::string Head(const std::string& statusLine, const std::string& fields) {
    return statusLine + "\r\n" + fields + "\r\n";
}

std::vector<RunCase> RunCases() {
    const std::string ok10 = Head("HTTP/1.1 200 OK", "Content-Length: 30\r\n");
    return {
        {"BodyInThreePieces",
         Script().ReadRequest().Send(ok10).Pause(kPieceGapMs).SendInPieces(kBody, 10, kPieceGapMs),
         {"connected 0", "sent 0", "progress 10 30", "progress 10 30", "progress 10 30",
          "completed 0 file=30", "error 9 0"},
         kBody},
        {"BodyInTheSameReadAsTheBlankLine",
         Script()
             .ReadRequest()
             .Send(ok10 + kBody.substr(0, 12))
             .Pause(kPieceGapMs)
             .Send(kBody.substr(12)),
         {"connected 0", "sent 0", "progress 12 30", "progress 18 30", "completed 0 file=30",
          "error 9 0"},
         kBody},
        {"BlankLineSplitAcrossReads",
         Script()
             .ReadRequest()
             .Send(ok10.substr(0, ok10.size() - 2))
             .Pause(kPieceGapMs)
             .Send("\r\n" + kBody),
         {"connected 0", "sent 0", "progress 30 30", "completed 0 file=30", "error 9 0"},
         kBody},
        {"PartialContentIsAccepted",
         Script().ReadRequest().Send(
             Head("HTTP/1.1 206 Partial Content", "Content-Length: 30\r\n") + kBody),
         {"connected 0", "sent 0", "progress 30 30", "completed 0 file=30", "error 9 0"},
         kBody},
        {"NotFoundEndsTheRunWithTheNegatedStatus",
         Script().ReadRequest().Send(HttpResponse(404, "no such file")).Hold(),
         {"connected 0", "sent 0", "error 3 -404"},
         kMissing},
        {"NotModifiedWithoutBodyEndsBySilence",
         Script().ReadRequest().Send(Head("HTTP/1.1 304 Not Modified", "")).Hold(),
         {"connected 0", "sent 0", "error 3 1460"},
         kMissing},
        {"NoContentLengthKeepsTheBodyAndEndsBySilence",
         Script().ReadRequest().Send(Head("HTTP/1.1 200 OK", "") + kBody).Hold(),
         {"connected 0", "sent 0", "progress 30 0", "error 3 1460"},
         kBody},
        {"PeerClosingBeforeTheEndLeavesTheRunSilent",
         Script().ReadRequest().Send(ok10 + kBody.substr(0, 20)).Close(),
         {"connected 0", "sent 0", "progress 20 30", "error 3 1460"},
         kBody.substr(0, 20)},
        {"PeerResetDuringTheBodyIsAReceiveFailure",
         Script().ReadRequest().Send(ok10 + kBody.substr(0, 20)).Pause(kPieceGapMs).Reset(),
         {"connected 0", "sent 0", "progress 20 30", "error 3 10054"},
         kBody.substr(0, 20)},
        {"SilentPeerAfterTheRequest",
         Script().ReadRequest().Hold(),
         {"connected 0", "sent 0", "error 3 1460"},
         kMissing},
        {"BareLineFeedsNeverCompleteTheHead",
         Script().ReadRequest().Send("HTTP/1.1 200 OK\nContent-Length: 30\n\n" + kBody).Hold(),
         {"connected 0", "sent 0", "error 3 1460"},
         kMissing},
        {"TotalAbove4GiBIsComparedOnAll64Bits",
         // 4294967326 is 30 in its low 32 bits: a narrower comparison would complete here.
         Script()
             .ReadRequest()
             .Send(Head("HTTP/1.1 200 OK", "Content-Length: 4294967326\r\n") + kBody)
             .Hold(),
         {"connected 0", "sent 0", "progress 30 4294967326", "error 3 1460"},
         kBody},
        {"StatusLineWithoutReasonPhraseIsRejected",
         Script().ReadRequest().Send(Head("HTTP/1.1 200", "Content-Length: 30\r\n") + kBody).Hold(),
         {"connected 0", "sent 0", "error 3 0"},
         kMissing},
        {"ContentLengthWithTrailingJunkCountsItsDigits",
         Script().ReadRequest().Send(Head("HTTP/1.1 200 OK", "content-length: 30abc\r\n") + kBody),
         {"connected 0", "sent 0", "progress 30 30", "completed 0 file=30", "error 9 0"},
         kBody},
    };
}

class DownloadRunCase : public testing::TestWithParam<RunCase> {};

TEST_P(DownloadRunCase, SlotsFileAndRequest) {
    const RunCase& c = GetParam();
    SilenceLimitGuard silence(kShortSilenceMs);
    ScriptedHttpServer server({c.script});
    ASSERT_TRUE(server.Started());
    DownloadRun run;
    ASSERT_TRUE(run.RunToEnd(server.Port()));
    EXPECT_EQ(run.Trace(), c.trace);
    EXPECT_TRUE(run.FileContent() == c.file)
        << "file holds " << run.FileContent().size() << " bytes";
    EXPECT_EQ(server.Request(0), kExpectedRequest);
    EXPECT_EQ(server.ConnectionCount(), 1u);
    EXPECT_EQ(platform::WaitForEvent(run.job.finishedEvent, 0), platform::kWaitEvent);
    EXPECT_EQ(run.job.socket, -1);
    EXPECT_EQ(run.job.networkEvent, -1);
}

INSTANTIATE_TEST_SUITE_P(Runs, DownloadRunCase, testing::ValuesIn(RunCases()),
                         [](const testing::TestParamInfo<RunCase>& info) {
                             return info.param.name;
                         });

TEST(DownloadRun, OverlongHeadEndsAtOnceWithMessageSize) {
    // The real silence limit: the run must end on the full head, not 10 s later.
    ScriptedHttpServer server(
        {Script().ReadRequest().Send("HTTP/1.1 200 OK\r\nX: " + std::string(9000, 'a')).Hold()});
    DownloadRun run;
    ASSERT_TRUE(run.RunToEnd(server.Port()));
    EXPECT_EQ(run.Trace(), (Trace{"connected 0", "sent 0", "error 3 10040"}));
    EXPECT_LT(run.ElapsedMs(), 5000);
}

TEST(DownloadRun, CompletedDownloadWithoutCompletionSlotEndsBySilence) {
    SilenceLimitGuard silence(kShortSilenceMs);
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, kBody)).Hold()});
    DownloadRun run;
    run.job.OnCompleted = nullptr;
    ASSERT_TRUE(run.RunToEnd(server.Port()));
    EXPECT_EQ(run.Trace(), (Trace{"connected 0", "sent 0", "progress 30 30", "error 3 1460"}));
    EXPECT_EQ(run.FileContent(), kBody);
}

TEST(DownloadRun, RefusedConnectionEndsBySilenceInTheConnectStage) {
    SilenceLimitGuard silence(kShortSilenceMs);
    uint16_t port;
    {
        ScriptedHttpServer closed({});  // a port that was just free, and nothing listens now
        port = closed.Port();
    }
    DownloadRun run;
    ASSERT_TRUE(run.RunToEnd(port));
    EXPECT_EQ(run.Trace(), (Trace{"error 1 1460"}));
}

TEST(DownloadRun, UnusableAddressFailsTheConnectCall) {
    // 255.255.255.255 is what an unparsable address text becomes; a TCP connect to it fails.
    DownloadRun run;
    run.job.hostName = "255.255.255.255";
    ASSERT_TRUE(run.RunToEnd(80));
    const Trace trace = run.Trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].rfind("error 1 ", 0), 0u) << trace[0];
    EXPECT_NE(trace[0], "error 1 1460");
}

TEST(DownloadRun, RequestPathWithoutSlashFailsTheSetUp) {
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, kBody))});
    DownloadRun run;
    run.job.requestPath = "quarvex.cab";
    ASSERT_TRUE(run.RunToEnd(server.Port()));
    EXPECT_EQ(run.Trace(), (Trace{"error 0 13"}));
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_EQ(platform::WaitForEvent(run.job.finishedEvent, 0), platform::kWaitEvent);
}

TEST(DownloadRun, FolderThatCannotBeMadeFailsTheDeleteWithPathNotFound) {
    DownloadRun run;
    run.job.folderName = "missing/Quarvex";
    ASSERT_TRUE(run.RunToEnd(1));
    EXPECT_EQ(run.Trace(), (Trace{"error 0 3"}));
}

TEST(DownloadRun, OldOutputFileIsDeletedBeforeTheConnection) {
    SilenceLimitGuard silence(kShortSilenceMs);
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(404, ""))});
    DownloadRun run;
    std::filesystem::create_directories(run.Documents() + "/Quarvex");
    std::ofstream(run.OutputPath()) << "left from an earlier run";
    ASSERT_TRUE(run.RunToEnd(server.Port()));
    EXPECT_EQ(run.Trace(), (Trace{"connected 0", "sent 0", "error 3 -404"}));
    EXPECT_EQ(run.FileContent(), "<missing>");
}

TEST(DownloadRun, FailedAppendIsAReceiveFailureWithTheFileError) {
    // A folder where the output file should be: every open for writing is refused.
    ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, kBody)).Hold()});
    DownloadRun run;
    run.onConnectedHook = [](DownloadJob& job) {
        std::filesystem::create_directory(job.outputPath);
    };
    ASSERT_TRUE(run.RunToEnd(server.Port()));
    EXPECT_EQ(run.Trace(), (Trace{"connected 0", "sent 0", "error 3 5"}));
    EXPECT_EQ(run.job.receivedBytes, 0);
}

TEST(DownloadRun, SecondWritableEventSendsTheWholeRequestAgain) {
    // OnConnected stuffs the socket until it takes nothing more, so the request's send would
    // block; once the peer reads, FD_WRITE comes again and the request goes out in full.
    SilenceLimitGuard silence(3000);
    ScriptedHttpServer server({Script().Pause(600).ReadRequest().Send(HttpResponse(200, kBody))},
                              4096);
    DownloadRun run;
    static size_t stuffed;
    stuffed = 0;
    run.onConnectedHook = [](DownloadJob& job) {
        const std::string filler(65536, 'f');
        size_t sent = 0;
        while (platform::SendOnSocket(job.socket, filler.data(), filler.size(), &sent) == 0)
            stuffed += sent;
    };
    ASSERT_TRUE(run.RunToEnd(server.Port()));
    EXPECT_EQ(run.Trace(), (Trace{"connected 0", "sent 10035", "sent 0", "progress 30 30",
                                  "completed 0 file=30", "error 9 0"}));
    const std::string received = server.Request(0);
    ASSERT_GT(stuffed, 0u);
    EXPECT_EQ(received.size(), stuffed + kExpectedRequest.size());
    EXPECT_EQ(received.substr(stuffed), kExpectedRequest);
}

TEST(DownloadRun, StopWhileWaitingEndsPromptlyWithoutSlots) {
    ScriptedHttpServer server({Script().ReadRequest().Hold()});
    DownloadRun run;
    run.Start(server.Port());
    // Wait until the request is on the wire, then stop with the 10 s silence limit running.
    for (int i = 0; i < 200 && server.Request(0).empty(); ++i) platform::SleepMilliseconds(10);
    ASSERT_EQ(server.Request(0), kExpectedRequest);
    run.MarkStopAsked();
    RequestDownloadStop(run.job);
    ASSERT_TRUE(run.WaitForEnd(2000));
    EXPECT_EQ(run.callsAfterStop(), 0);
    EXPECT_EQ(run.Trace(), (Trace{"connected 0", "sent 0"}));
    EXPECT_EQ(platform::WaitForEvent(run.job.finishedEvent, 0), platform::kWaitEvent);
    EXPECT_TRUE(server.WaitForConnectionEnd(0, 2000));  // the connection went down with the run
}

TEST(DownloadRun, StopDuringTheBodyCallsNoFurtherSlot) {
    const std::string body = Bytes(4000);
    ScriptedHttpServer server({Script()
                                   .ReadRequest()
                                   .Send(Head("HTTP/1.1 200 OK", "Content-Length: 4000\r\n"))
                                   .SendInPieces(body, 100, 30)});
    DownloadRun run;
    run.Start(server.Port());
    for (int i = 0; i < 300 && run.Trace().size() < 4; ++i) platform::SleepMilliseconds(10);
    run.MarkStopAsked();
    RequestDownloadStop(run.job);
    ASSERT_TRUE(run.WaitForEnd(2000));
    EXPECT_EQ(run.callsAfterStop(), 0);
    const Trace trace = run.Trace();
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(trace.back().rfind("progress ", 0), 0u);
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST(DownloadRun, EarlyCloseWaitsTheRealTenSecondsIdle) {
    // The peer closes after part of the body. The worker must then sit quietly until its
    // 10000 ms silence limit: no wake-up per poll, so the process uses next to no CPU.
    ScriptedHttpServer server(
        {Script()
             .ReadRequest()
             .Send(Head("HTTP/1.1 200 OK", "Content-Length: 30\r\n") + kBody.substr(0, 20))
             .Close()});
    DownloadRun run;
    const double cpuBefore = ProcessCpuSeconds();
    ASSERT_TRUE(run.RunToEnd(server.Port(), 30000));
    const double cpuUsed = ProcessCpuSeconds() - cpuBefore;
    EXPECT_EQ(run.Trace(), (Trace{"connected 0", "sent 0", "progress 20 30", "error 3 1460"}));
    EXPECT_GE(run.ElapsedMs(), 10000);
    EXPECT_LT(run.ElapsedMs(), 12000);
    EXPECT_LT(cpuUsed, 0.5) << "the worker spun while it should have waited";
    std::printf("silent run: %.3f s of CPU over %lld ms\n", cpuUsed,
                static_cast<long long>(run.ElapsedMs()));
}

}  // namespace

namespace {

TEST(DownloadRun, NginxServesSeveralMegabytesByteForByte) {
    if (!NginxServer::Available()) GTEST_SKIP() << "no /usr/sbin/nginx on this machine";
    ScratchFolder www;
    std::filesystem::create_directories(www.Path("download/quarvex"));
    const std::string content = Bytes(5 * 1024 * 1024 + 123, 5);
    std::ofstream(www.Path("download/quarvex/quarvex.cab"), std::ios::binary) << content;
    NginxServer nginx(www.Path(""));
    ASSERT_TRUE(nginx.Started()) << nginx.ErrorLog();

    DownloadRun run;
    ASSERT_TRUE(run.RunToEnd(nginx.Port()));
    const Trace trace = run.Trace();
    ASSERT_GE(trace.size(), 5u);
    EXPECT_EQ(trace[0], "connected 0");
    EXPECT_EQ(trace[1], "sent 0");
    int64_t progressed = 0;
    for (size_t i = 2; i + 2 < trace.size(); ++i) {
        int written = 0;
        long long total = 0;
        ASSERT_EQ(std::sscanf(trace[i].c_str(), "progress %d %lld", &written, &total), 2)
            << trace[i];
        EXPECT_GE(written, 1);
        EXPECT_LE(written, 8192);
        EXPECT_EQ(total, static_cast<long long>(content.size()));
        progressed += written;
    }
    EXPECT_EQ(progressed, static_cast<int64_t>(content.size()));
    EXPECT_EQ(trace[trace.size() - 2], "completed 0 file=" + std::to_string(content.size()));
    EXPECT_EQ(trace.back(), "error 9 0");
    EXPECT_TRUE(run.FileContent() == content);
    EXPECT_EQ(run.job.receivedBytes, static_cast<int64_t>(content.size()));
}

}  // namespace

namespace {

TEST(SendRequest, ARequestTheSocketTakesOnlyInPartIsSentToItsEnd) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    const int event = platform::CreateManualResetEvent();
    ASSERT_TRUE(
        platform::SelectNetworkEvents(fds[0], event, platform::FD_READ | platform::FD_WRITE));
    DownloadJob job;
    InitDownloadJob(job);
    job.socket = fds[0];
    // A path far larger than the socket's buffer: the first send takes only part of it.
    const std::string path = "/" + std::string(4 * 1024 * 1024, 'q');
    std::string received;
    std::thread peer([&] {
        platform::SleepMilliseconds(100);  // let the sender meet a full buffer first
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fds[1], buffer, sizeof buffer);
            if (n <= 0) break;
            received.append(buffer, static_cast<size_t>(n));
        }
    });
    EXPECT_EQ(SendRequest(job, path, "h"), 0);
    platform::CloseSocketHandle(fds[0]);
    peer.join();
    ::close(fds[1]);
    platform::CloseEvent(event);
    ASSERT_GT(received.size(), path.size());
    EXPECT_EQ(received.compare(0, 4 + path.size(), "GET " + path), 0);
    EXPECT_EQ(received.find("GET ", 1), std::string::npos) << "the request went out once";
    EXPECT_EQ(received.substr(received.size() - 4), "\r\n\r\n");
    EXPECT_EQ(received.size(), path.size() + kExpectedRequest.size() -
                                   std::string("/download/quarvex/quarvex.cab").size() -
                                   std::string("127.0.0.1").size() + 1);
    FreeDownloadJob(job);
}

}  // namespace
