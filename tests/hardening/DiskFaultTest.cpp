// Faults on disk, for the download and the extraction: a full disk (a file-size limit, and a
// device that is always full), a read-only download folder, an output file that is a folder,
// and a Documents folder that cannot be created. Every failure is reported with its kind and
// code, nothing partial is reported as success, and nothing beside the download folder changes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cabinet/CabinetExtractor.h"
#include "download/DownloadRunHarness.h"
#include "hardening/Observations.h"
#include "support/CabinetWriter.h"
#include "support/ScratchFolder.h"
#include "support/ScriptedHttpServer.h"
#include "support/SilenceLimitGuard.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kSilenceMs = 400;
constexpr rlim_t kFileSizeLimit = 64 * 1024;
constexpr uid_t kNobody = 65534;

std::string BinaryBody(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

const std::string kBody = BinaryBody(200 * 1024);

// Files may grow to `bytes` at most while it lives; a write beyond fails with EFBIG instead of
// killing the process. Lowering the limit needs no privilege, so it works for root and users.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ok = ::getrlimit(RLIMIT_FSIZE, &saved) == 0;
        const rlimit lowered{bytes, saved.rlim_max};
        ok = ok && ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
        previous = ::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, previous);
    }
    bool Set() const { return ok; }

private:
    rlimit saved{};
    sighandler_t previous;
    bool ok = false;
};

// Permission bits bind root only through another identity: as root, the process acts as
// nobody while this lives (all threads, as setuid calls do); as anybody else nothing changes.
class ActAsUnprivileged {
public:
    ActAsUnprivileged() {
        if (::geteuid() != 0) return;
        switched = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
        failed = !switched;
    }
    ~ActAsUnprivileged() {
        if (::geteuid() != 0 && ::seteuid(0) == 0) ::setegid(0);
    }
    bool Failed() const { return failed; }

private:
    bool switched = false;
    bool failed = false;
};

bool Completed(const std::vector<std::string>& trace) {
    return std::any_of(trace.begin(), trace.end(),
                       [](const std::string& line) { return line.rfind("completed", 0) == 0; });
}

class DownloadDiskFaultTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Started());
        // Folders that another identity may pass through.
        fs::permissions(Home(), fs::perms(0755));
    }

    // The download's HOME: the scratch folder that holds Documents.
    std::string Home() const { return fs::path(run.Documents()).parent_path().string(); }
    std::string Folder() const { return run.Documents() + "/Quarvex"; }
    void MakeFolder(fs::perms permissions) {
        fs::create_directories(Folder());
        fs::permissions(run.Documents(), fs::perms(0755));
        fs::permissions(Folder(), permissions);
    }
    std::vector<std::string> Run() {
        before = Snapshot(Home(), Folder());
        EXPECT_TRUE(run.RunToEnd(server.Port()));
        return run.Trace();
    }
    // Nothing outside the download folder changed.
    void ExpectOnlyTheFolderTouched() { EXPECT_EQ(Snapshot(Home(), Folder()), before); }

    SilenceLimitGuard silence{kSilenceMs};
    ScriptedHttpServer server{{Script().ReadRequest().Send(HttpResponse(200, kBody)).Hold()}};
    DownloadRun run;
    std::map<std::string, std::string> before;
};

TEST_F(DownloadDiskFaultTest, FullDiskByAFileSizeLimitFailsWithFileTooLarge) {
    MakeFolder(fs::perms(0755));
    FileSizeLimit limit(kFileSizeLimit);
    ASSERT_TRUE(limit.Set()) << "the file-size limit cannot be lowered here";
    const std::vector<std::string> trace = Run();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "error 3 223");
    EXPECT_FALSE(Completed(trace));
    EXPECT_LE(run.job.receivedBytes, static_cast<int64_t>(kFileSizeLimit));
    EXPECT_LE(run.FileContent().size(), kFileSizeLimit);
    EXPECT_EQ(run.FileContent(), kBody.substr(0, run.FileContent().size()));
    ExpectOnlyTheFolderTouched();
}

TEST_F(DownloadDiskFaultTest, FullDeviceFailsWithDiskFull) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
    MakeFolder(fs::perms(0755));
    // The output file, once deleted by the set-up, comes back as a link to a device that is
    // always full.
    run.onConnectedHook = [](DownloadJob& job) { fs::create_symlink("/dev/full", job.outputPath); };
    const std::vector<std::string> trace = Run();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "error 3 112");
    EXPECT_FALSE(Completed(trace));
    EXPECT_EQ(run.job.receivedBytes, 0);
    ExpectOnlyTheFolderTouched();
}

TEST_F(DownloadDiskFaultTest, ReadOnlyFolderFailsTheFirstAppendWithAccessDenied) {
    MakeFolder(fs::perms(0555));
    ActAsUnprivileged unprivileged;
    if (unprivileged.Failed()) GTEST_SKIP() << "running as root and cannot act as nobody: permission bits do not bind";
    const std::vector<std::string> trace = Run();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "error 3 5");
    EXPECT_FALSE(Completed(trace));
    EXPECT_EQ(run.FileContent(), "<missing>");
    ExpectOnlyTheFolderTouched();
}

TEST_F(DownloadDiskFaultTest, OldFileInAReadOnlyFolderFailsTheSetUpWithAccessDenied) {
    MakeFolder(fs::perms(0755));
    std::ofstream(run.OutputPath()) << "left from an earlier run";
    fs::permissions(Folder(), fs::perms(0555));
    ActAsUnprivileged unprivileged;
    if (unprivileged.Failed()) GTEST_SKIP() << "running as root and cannot act as nobody: permission bits do not bind";
    EXPECT_EQ(Run(), std::vector<std::string>{"error 0 5"});
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_EQ(run.FileContent(), "left from an earlier run");
    ExpectOnlyTheFolderTouched();
}

TEST_F(DownloadDiskFaultTest, OutputFileThatIsAFolderFailsTheSetUpWithAccessDenied) {
    fs::create_directories(run.OutputPath() + "/inside");
    EXPECT_EQ(Run(), std::vector<std::string>{"error 0 5"});
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_TRUE(fs::is_directory(run.OutputPath() + "/inside")) << "the folder was not touched";
    ExpectOnlyTheFolderTouched();
}

TEST_F(DownloadDiskFaultTest, DocumentsThatIsAFileFailsTheSetUpWithPathNotFound) {
    std::ofstream(run.Documents()) << "a file where the Documents folder should be";
    EXPECT_EQ(Run(), std::vector<std::string>{"error 0 3"});
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_EQ(LoadFile(run.Documents()), "a file where the Documents folder should be");
    ExpectOnlyTheFolderTouched();
}

TEST_F(DownloadDiskFaultTest, DocumentsInAReadOnlyHomeFailsTheSetUpWithPathNotFound) {
    fs::permissions(Home(), fs::perms(0555));
    ActAsUnprivileged unprivileged;
    if (unprivileged.Failed()) GTEST_SKIP() << "running as root and cannot act as nobody: permission bits do not bind";
    EXPECT_EQ(Run(), std::vector<std::string>{"error 0 3"});
    EXPECT_EQ(server.ConnectionCount(), 0u);
    EXPECT_FALSE(fs::exists(run.Documents()));
}

// The extraction: the number shown is 8, the extractor's code for a file it cannot create or
// write, and what was written before the fault stays.
class ExtractionDiskFaultTest : public testing::Test {
protected:
    void SetUp() override {
        fs::permissions(scratch.Path(""), fs::perms(0755));
        fs::create_directories(destination);
        ASSERT_TRUE(SaveFile(cabinet, WriteCabinet({{"small.txt", "small\n"}, {"big.bin", kBody}})));
        before = Snapshot(scratch.Path(""), destination);
    }
    bool Extract() {
        CCabinetExtractor extractor;
        EXPECT_TRUE(extractor.Create());
        const bool extracted = extractor.Extract(destination.c_str(), cabinet.c_str());
        code = extractor.ReportedErrorCode();
        return extracted;
    }
    void ExpectOnlyTheDestinationTouched() { EXPECT_EQ(Snapshot(scratch.Path(""), destination), before); }

    ScratchFolder scratch;
    const std::string destination = scratch.Path("dest");
    const std::string cabinet = scratch.Path("data.cab");
    std::map<std::string, std::string> before;
    int code = -1;
};

TEST_F(ExtractionDiskFaultTest, FullDiskByAFileSizeLimitFailsWithTargetFileError) {
    FileSizeLimit limit(kFileSizeLimit);
    ASSERT_TRUE(limit.Set()) << "the file-size limit cannot be lowered here";
    EXPECT_FALSE(Extract());
    EXPECT_EQ(code, 8);
    EXPECT_EQ(LoadFile(destination + "/small.txt"), "small\n");
    EXPECT_LE(fs::file_size(destination + "/big.bin"), kFileSizeLimit);
    ExpectOnlyTheDestinationTouched();
}

TEST_F(ExtractionDiskFaultTest, ReadOnlyDestinationFailsWithTargetFileError) {
    fs::permissions(destination, fs::perms(0555));
    ActAsUnprivileged unprivileged;
    if (unprivileged.Failed()) GTEST_SKIP() << "running as root and cannot act as nobody: permission bits do not bind";
    EXPECT_FALSE(Extract());
    EXPECT_EQ(code, 8);
    EXPECT_TRUE(fs::is_empty(destination));
    ExpectOnlyTheDestinationTouched();
}

TEST_F(ExtractionDiskFaultTest, OutputFileThatIsAFolderFailsWithTargetFileError) {
    fs::create_directories(destination + "/big.bin/inside");
    EXPECT_FALSE(Extract());
    EXPECT_EQ(code, 8);
    EXPECT_EQ(LoadFile(destination + "/small.txt"), "small\n");
    EXPECT_TRUE(fs::is_directory(destination + "/big.bin/inside"));
    ExpectOnlyTheDestinationTouched();
}

}  // namespace
