#include "download/DownloadRunHarness.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/Events.h"
#include "platform/Threads.h"

DownloadRun::DownloadRun() {
    InitDownloadJob(job);
    job.owner = reinterpret_cast<CtarnwickDlg*>(this);
    job.hostName = "127.0.0.1";
    job.hostHeader = "127.0.0.1";
    job.requestPath = "/download/quarvex/quarvex.cab";
    job.folderName = "Quarvex";
    job.OnConnected = OnConnected;
    job.OnRequestSent = OnRequestSent;
    job.OnProgress = OnProgress;
    job.OnCompleted = OnCompleted;
    job.OnError = OnError;
}

DownloadRun::~DownloadRun() {
    // A worker still running here would outlive its record: stop it first.
    RequestDownloadStop(job);
    WaitForDownloadEnd(job, platform::kInfinite);
    FreeDownloadJob(job);
}

void DownloadRun::Start(uint16_t port) {
    job.serverPort = port;
    // The worker finds its Documents folder below HOME; no user-dirs file there.
    ::setenv("HOME", scratch.Path("").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", scratch.Path("config").c_str(), 1);
    started = std::chrono::steady_clock::now();
    platform::CreateThread(DownloadThreadMain, &job, &job.threadId);
}

bool DownloadRun::WaitForEnd(uint32_t timeoutMs) {
    if (!WaitForDownloadEnd(job, timeoutMs)) return false;
    elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - started)
                    .count();
    return true;
}

bool DownloadRun::RunToEnd(uint16_t port, uint32_t timeoutMs) {
    Start(port);
    return WaitForEnd(timeoutMs);
}

std::vector<std::string> DownloadRun::Trace() const {
    std::lock_guard lock(mutex);
    return trace;
}

std::string DownloadRun::OutputPath() const {
    return Documents() + "/" + job.folderName + "/quarvex.cab";
}

std::string DownloadRun::FileContent() const {
    std::ifstream in(OutputPath(), std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void DownloadRun::Note(std::string line) {
    if (stopAsked) ++lateCalls;
    std::lock_guard lock(mutex);
    trace.push_back(std::move(line));
}

int32_t DownloadRun::OnConnected(CtarnwickDlg* owner, int32_t code) {
    DownloadRun& run = Of(owner);
    if (run.onConnectedHook) run.onConnectedHook(run.job);
    run.Note("connected " + std::to_string(code));
    return 0;
}

int32_t DownloadRun::OnRequestSent(CtarnwickDlg* owner, int32_t result) {
    Of(owner).Note("sent " + std::to_string(result));
    return 0;
}

int32_t DownloadRun::OnProgress(CtarnwickDlg* owner, int32_t written, int64_t total) {
    Of(owner).Note("progress " + std::to_string(written) + " " + std::to_string(total));
    return 0;
}

int32_t DownloadRun::OnCompleted(CtarnwickDlg* owner, int32_t code) {
    DownloadRun& run = Of(owner);
    // The completion step reads the whole file; it must be there by now.
    run.Note("completed " + std::to_string(code) +
             " file=" + std::to_string(run.FileContent().size()));
    return 0;
}

int32_t DownloadRun::OnError(CtarnwickDlg* owner, int32_t kind, int32_t code) {
    Of(owner).Note("error " + std::to_string(kind) + " " + std::to_string(code));
    return 0;
}
