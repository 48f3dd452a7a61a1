// The worker's loop allocates nothing per body piece: between two OnProgress calls the worker
// thread makes no heap allocation at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "download/DownloadRunHarness.h"
#include "support/ScriptedHttpServer.h"

namespace {
thread_local long allocationsOnThisThread = 0;
}

void* operator new(std::size_t size) {
    ++allocationsOnThisThread;
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

constexpr int kMaxPieces = 1024;
long allocationsAtPiece[kMaxPieces];
int pieces = 0;

TEST(PieceAllocation, NoHeapAllocationBetweenPieces) {
    const std::string body(40 * 8192, 'p');
    const std::string response = HttpResponse(200, body);
    const std::string head = response.substr(0, response.size() - body.size());
    ScriptedHttpServer server(
        {Script().ReadRequest().Send(head).Pause(100).SendInPieces(body, 8192, 5)});
    DownloadRun run;
    pieces = 0;
    run.job.OnProgress = [](CtarnwickDlg*, int32_t, int64_t) {
        if (pieces < kMaxPieces) allocationsAtPiece[pieces++] = allocationsOnThisThread;
        return 0;
    };
    ASSERT_TRUE(run.RunToEnd(server.Port()));
    ASSERT_EQ(run.job.receivedBytes, static_cast<int64_t>(body.size()));
    ASSERT_GE(pieces, 40);
    for (int i = 1; i < pieces; ++i) {
        EXPECT_EQ(allocationsAtPiece[i] - allocationsAtPiece[i - 1], 0) << "before piece " << i;
    }
}

}  // namespace
