// Making and taking down the connection: which handles stay open after each outcome.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "download/Connection.h"
#include "platform/ErrorCodes.h"
#include "platform/Events.h"
#include "platform/Sockets.h"
#include "platform/Threads.h"

namespace {

// While it lives, no new descriptor can be made: the limit sits at the lowest free one.
class NoFreeDescriptors {
  public:
    NoFreeDescriptors() {
        ::getrlimit(RLIMIT_NOFILE, &saved);
        const int probe = ::open("/dev/null", O_RDONLY);
        ::close(probe);
        const rlimit low{static_cast<rlim_t>(probe), saved.rlim_max};
        active = probe >= 0 && ::setrlimit(RLIMIT_NOFILE, &low) == 0;
    }
    ~NoFreeDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved); }
    bool active = false;

  private:
    rlimit saved{};
};

class Connection : public testing::Test {
  protected:
    void SetUp() override {
        InitDownloadJob(job);
        job.networkEvent = platform::CreateManualResetEvent();
    }
    void TearDown() override {
        CloseConnection(job);
        FreeDownloadJob(job);
    }
    DownloadJob job;
};

TEST_F(Connection, UnparsableAddressIsTriedAndItsFailureClosesBothHandles) {
    const int32_t result = ConnectToServer(job, "not an address", 80);
    EXPECT_NE(result, 0);
    EXPECT_NE(result, 10035);
    EXPECT_EQ(job.socket, -1);
    EXPECT_EQ(job.networkEvent, -1);
}

TEST_F(Connection, AttemptUnderWayKeepsBothHandlesAndCloseRunsTwice) {
    const int32_t result = ConnectToServer(job, "127.0.0.1", 9);  // nothing needs to listen
    ASSERT_TRUE(result == 10035 || result == 10061) << result;
    if (result == 10035) {
        EXPECT_NE(job.socket, -1);
        EXPECT_NE(job.networkEvent, -1);
    }
    EXPECT_EQ(CloseConnection(job), 0);
    EXPECT_EQ(job.socket, -1);
    EXPECT_EQ(job.networkEvent, -1);
    EXPECT_EQ(CloseConnection(job), 0);
}

TEST_F(Connection, SocketThatCannotBeMadeLeavesTheEventOpen) {
    int32_t result;
    {
        NoFreeDescriptors limit;
        ASSERT_TRUE(limit.active);
        result = ConnectToServer(job, "127.0.0.1", 80);
    }
    EXPECT_EQ(result, 10024);  // WSAEMFILE
    EXPECT_EQ(job.socket, -1);
    EXPECT_NE(job.networkEvent, -1);
}

TEST_F(Connection, CloseSocketLeavesTheEventAlone) {
    job.socket = CreateStreamSocket();
    ASSERT_NE(job.socket, -1);
    const int event = job.networkEvent;
    CloseSocket(job);
    EXPECT_EQ(job.socket, -1);
    EXPECT_EQ(job.networkEvent, event);
    CloseSocket(job);
}

TEST(DownloadJobRecord, InitialValues) {
    DownloadJob job;
    InitDownloadJob(job);
    EXPECT_EQ(job.threadId, 0xFFFFFFFFu);
    EXPECT_EQ(job.socket, -1);
    EXPECT_EQ(job.networkEvent, -1);
    EXPECT_EQ(job.finishedEvent, -1);
    EXPECT_EQ(job.serverPort, 80);
    EXPECT_EQ(job.headerComplete, 0);
    EXPECT_EQ(job.headerLength, 0);
    EXPECT_EQ(job.contentLength, 0);
    EXPECT_EQ(job.receivedBytes, 0);
    EXPECT_EQ(job.statusCode, 0);
    EXPECT_EQ(job.owner, nullptr);
    EXPECT_EQ(job.OnError, nullptr);
    EXPECT_FALSE(job.stopRequested.load());
    job.finishedEvent = platform::CreateManualResetEvent();
    FreeDownloadJob(job);
    EXPECT_EQ(job.finishedEvent, -1);
    FreeDownloadJob(job);
}

TEST(DownloadSetUp, EventThatCannotBeMadeIsASetUpFailureWithTheSystemCode) {
    static std::vector<std::pair<int32_t, int32_t>> errors;
    errors.clear();
    DownloadJob job;
    InitDownloadJob(job);
    job.threadId = platform::GetCurrentThreadId();  // the queue exists before descriptors run out
    job.requestPath = "/x.cab";
    job.OnError = [](CtarnwickDlg*, int32_t kind, int32_t code) {
        errors.emplace_back(kind, code);
        return 0;
    };
    {
        NoFreeDescriptors limit;
        ASSERT_TRUE(limit.active);
        RunDownload(job);
    }
    EXPECT_EQ(errors,
              (std::vector<std::pair<int32_t, int32_t>>{{0, 4}}));  // 4: too many open files
    EXPECT_EQ(job.networkEvent, -1);
    EXPECT_EQ(job.finishedEvent, -1);
    FreeDownloadJob(job);
}

TEST(AppendToFile, MissingFolderIsPathNotFound) {
    EXPECT_EQ(AppendToFile("/nonexistent-folder/x", "abc", 3), -1);
    EXPECT_EQ(platform::GetLastErrorCode(), 3);
}

}  // namespace
