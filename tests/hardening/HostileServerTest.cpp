// Every fault the scripted server can play, against the download engine and the configuration
// fetch alike: each ends with the kind and code the engine names (or the fetch's result) within
// its time limit, with the process's memory bounded, and without a crash. The limits are
// shortened through the engine's and the fetch's test seams; the faults are not.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "config/HttpTextRequest.h"
#include "download/DownloadRunHarness.h"
#include "hardening/Observations.h"
#include "support/ScratchFolder.h"
#include "support/ScriptedHttpServer.h"
#include "support/SilenceLimitGuard.h"

namespace {

using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSilenceMs = 400;
// The fetch's limits, short: 1 s to connect, 1 s below a byte a second, 2.5 s in all.
constexpr FetchLimits kFetchShort{1'000, 1, 2'500, 1 << 20};
// Room for a busy machine (two cores shared with the sanitizers) on top of every limit.
constexpr int64_t kSlackMs = 2'000;
// What one hostile exchange may add to the process's resident memory.
constexpr int64_t kMemoryBoundBytes = 32 << 20;

const std::string kMissing = "<missing>";
const std::string kBody = "0123456789abcdefghijklmnopqrst";  // 30 bytes

std::string Head(const std::string& fields, const std::string& statusLine = "HTTP/1.1 200 OK") {
    return statusLine + "\r\n" + fields + "\r\n";
}

const std::string kHead30 = Head("Content-Length: 30\r\n");

// A head of exactly `size` bytes, its blank line included, announcing 30 body bytes.
std::string HeadOfSize(size_t size) {
    const std::string start = "HTTP/1.1 200 OK\r\nContent-Length: 30\r\nX-Filler: ";
    return start + std::string(size - start.size() - 4, 'f') + "\r\n\r\n";
}

// Header lines of 1 KiB each, `count` of them, then the blank line.
std::string ManyHeaderLines(size_t count) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 30\r\n";
    for (size_t i = 0; i < count; ++i) head += "X-Line-" + std::to_string(i) + ": " + std::string(1000, 'l') + "\r\n";
    return head + "\r\n";
}

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

const std::string kFlood = Pattern(64 * 1024);

int64_t ScriptPauseMs(const Script& script) {
    int64_t total = 0;
    for (const Script::Step& step : script.Steps()) total += step.milliseconds;
    return total;
}

struct Fault {
    const char* name;
    Script script;
    // The download: its last slot call, the body bytes its progress reports add up to, and the
    // output file afterwards.
    std::string downloadEnd;
    int64_t downloadBytes;
    std::string downloadFile;
    // The configuration fetch: its result and what reached the sink.
    int32_t fetchResult;
    std::string fetchText;
};

void PrintTo(const Fault& fault, std::ostream* os) { *os << fault.name; }

std::vector<Fault> Faults() {
    const std::string tooLong = HeadOfSize(8193);
    return {
        {"SilentBeforeTheHead", Script().ReadRequest().Hold(), "error 3 1460", 0, kMissing, -1, ""},
        {"SilentAfterTheHead", Script().ReadRequest().Send(kHead30).Hold(), "error 3 1460", 0, kMissing, -1, ""},
        {"SilentInsideTheBody", Script().ReadRequest().Send(kHead30 + kBody.substr(0, 10)).Hold(),
         "error 3 1460", 10, kBody.substr(0, 10), -1, kBody.substr(0, 10)},
        {"ClosedBeforeTheHead", Script().ReadRequest().Close(), "error 3 1460", 0, kMissing, -1, ""},
        {"ClosedInsideTheHead", Script().ReadRequest().Send("HTTP/1.1 200 OK\r\nContent-Le").Close(),
         "error 3 1460", 0, kMissing, -1, ""},
        {"ClosedBeforeTheEnd", Script().ReadRequest().Send(kHead30 + kBody.substr(0, 10)).Close(),
         "error 3 1460", 10, kBody.substr(0, 10), -1, kBody.substr(0, 10)},
        {"HeadOfExactly8KiB", Script().ReadRequest().Send(HeadOfSize(8192) + kBody).Hold(),
         "error 9 0", 30, kBody, 0, kBody},
        {"HeadOneByteBeyond8KiB", Script().ReadRequest().Send(tooLong + kBody).Hold(),
         "error 3 10040", 0, kMissing, 0, kBody},
        {"HeadOf8KiBWithoutItsEnd", Script().ReadRequest().Send(tooLong.substr(0, 8192)).Hold(),
         "error 3 10040", 0, kMissing, -1, ""},
        {"HeadOfAMebibyte", Script().ReadRequest().Send(ManyHeaderLines(1024) + kBody).Hold(),
         "error 3 10040", 0, kMissing, -1, ""},
        // The head's text ends at a zero byte: the length after it is never seen.
        {"ZeroByteInTheHead", Script().ReadRequest().Send(Head("\0Content-Length: 30\r\n"s) + kBody).Hold(),
         "error 3 1460", 30, kBody, -1, ""},
        {"ZeroByteInTheStatusLine", Script().ReadRequest().Send(Head("Content-Length: 30\r\n", "HTTP/1.1 2\0 00 OK"s) + kBody).Hold(),
         "error 3 0", 0, kMissing, -1, ""},
        {"BareLineFeeds", Script().ReadRequest().Send("HTTP/1.1 200 OK\nContent-Length: 30\n\n" + kBody).Hold(),
         "error 3 1460", 0, kMissing, 0, kBody},
        // The fetch takes a length it cannot read as no length, and waits for the close.
        {"AbsurdContentLength", Script().ReadRequest().Send(Head("Content-Length: 99999999999999999999999\r\n") + kBody).Hold(),
         "error 3 1460", 30, kBody, -1, kBody},
        {"NegativeContentLength", Script().ReadRequest().Send(Head("Content-Length: -30\r\n") + kBody).Hold(),
         "error 3 1460", 30, kBody, -1, ""},
        // The piece that passes the length is never equal to it: no completion.
        {"MoreBodyThanAnnouncedInOneRead", Script().ReadRequest().Send(kHead30 + kBody + kBody).Hold(),
         "error 3 1460", 60, kBody + kBody, 0, kBody},
        {"MoreBodyAfterTheEnd", Script().ReadRequest().Send(kHead30 + kBody).Pause(300).Send(kBody).Hold(),
         "error 9 0", 30, kBody, 0, kBody},
        {"TrickleOfOneByteAtATime", Script().ReadRequest().Send(kHead30).SendInPieces(kBody, 1, 40).Hold(),
         "error 9 0", 30, kBody, 0, kBody},
        {"FloodOfOneBytePieces",
         Script().ReadRequest().Send(Head("Content-Length: " + std::to_string(kFlood.size()) + "\r\n"))
             .SendInPieces(kFlood, 1, 0).Hold(),
         "error 9 0", static_cast<int64_t>(kFlood.size()), kFlood, 0, kFlood},
        {"ResetBeforeTheHead", Script().ReadRequest().Reset(), "error 3 10054", 0, kMissing, -1, ""},
        {"ResetInsideTheBody", Script().ReadRequest().Send(kHead30 + kBody.substr(0, 10)).Pause(150).Reset(),
         "error 3 10054", 10, kBody.substr(0, 10), -1, kBody.substr(0, 10)},
    };
}

// The sum of the progress reports, or -1 when a line is not a progress report.
int64_t ProgressBytes(const std::vector<std::string>& trace) {
    int64_t bytes = 0;
    for (const std::string& line : trace) {
        int written = 0;
        long long total = 0;
        if (std::sscanf(line.c_str(), "progress %d %lld", &written, &total) == 2) bytes += written;
    }
    return bytes;
}

void CollectText(const char* text, void* context) { *static_cast<std::string*>(context) += text; }

class HostileServerTest : public testing::TestWithParam<Fault> {
protected:
    // The fetch must reach the test's server directly, whatever proxy the machine names.
    ScopedNoProxy direct;
};

TEST_P(HostileServerTest, EndsAsNamedWithinItsLimitAndBoundedMemory) {
    const Fault& fault = GetParam();
    // The servers hold their scripts (a flood's is large) before the memory is first measured.
    ScriptedHttpServer downloadServer({fault.script});
    ScriptedHttpServer fetchServer({fault.script});
    ASSERT_TRUE(downloadServer.Started() && fetchServer.Started());
    const int64_t residentBefore = ResidentBytes();
    {
        SilenceLimitGuard silence(kSilenceMs);
        DownloadRun run;
        ASSERT_TRUE(run.RunToEnd(downloadServer.Port()));
        const std::vector<std::string> trace = run.Trace();
        ASSERT_FALSE(trace.empty());
        EXPECT_EQ(trace.back(), fault.downloadEnd);
        EXPECT_EQ(ProgressBytes(trace), fault.downloadBytes);
        EXPECT_TRUE(run.FileContent() == fault.downloadFile) << "the file holds " << run.FileContent().size() << " bytes";
        EXPECT_LT(run.ElapsedMs(), ScriptPauseMs(fault.script) + kSilenceMs + kSlackMs);
        EXPECT_EQ(run.job.socket, -1);
    }
    {
        std::string text;
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(FetchUrlText(CollectText, &text,
                               L"http://127.0.0.1:" + std::to_wstring(fetchServer.Port()) + L"/quarvex_fgt.ini", kFetchShort),
                  fault.fetchResult);
        EXPECT_TRUE(text == fault.fetchText) << "the sink got " << text.size() << " bytes";
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
                  kFetchShort.totalMs + kSlackMs);
    }
    const int64_t grown = ResidentBytes() - residentBefore;
    EXPECT_LT(grown, kMemoryBoundBytes);
    std::printf("resident memory grew by %lld KiB\n", static_cast<long long>(grown / 1024));
}

// The engine accepts 200, 206 and 304 and names every other status, negated. The fetch does not
// look at the status: any final answer counts and its body goes to the sink, except where HTTP
// allows no body (204, 304); an interim answer (1xx) that no final one follows is no answer,
// except 101: libcurl takes a switch of protocols for the final answer and passes on what follows.
std::string DownloadEndFor(int status) {
    const bool accepted = status == 200 || status == 206 || status == 304;
    return accepted ? "error 9 0" : "error 3 " + std::to_string(-status);
}

bool InterimWithoutFinal(int status) { return status < 200 && status != 101; }

int32_t FetchResultFor(int status) { return InterimWithoutFinal(status) ? -1 : 0; }

std::string FetchTextFor(int status) {
    return InterimWithoutFinal(status) || status == 204 || status == 304 ? "" : kBody;
}

TEST_F(HostileServerTest, StatusesFrom100To599) {
    SilenceLimitGuard silence(kSilenceMs);
    for (int status = 100; status <= 599; ++status) {
        const Script script = Script().ReadRequest().Send(HttpResponse(status, kBody)).Close();
        ScriptedHttpServer server({script});
        ASSERT_TRUE(server.Started());
        DownloadRun run;
        ASSERT_TRUE(run.RunToEnd(server.Port()));
        ASSERT_FALSE(run.Trace().empty());
        EXPECT_EQ(run.Trace().back(), DownloadEndFor(status)) << status;
        std::string text;
        EXPECT_EQ(FetchUrlText(CollectText, &text,
                               L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/quarvex_fgt.ini", kFetchShort),
                  FetchResultFor(status)) << status;
        EXPECT_EQ(text, FetchTextFor(status)) << status;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileServerTest, testing::ValuesIn(Faults()),
                         [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

}  // namespace
