#include "download/DownloadJob.h"

#include <atomic>
#include <optional>
#include <string>

#include "download/Connection.h"
#include "download/HttpRequest.h"
#include "download/HttpResponse.h"
#include "download/SilenceLimit.h"
#include "platform/ErrorCodes.h"
#include "platform/Events.h"
#include "platform/Files.h"
#include "platform/Sockets.h"
#include "platform/Text.h"
#include "platform/Threads.h"

namespace {

// The worker's own progress through a run; a failure in the loop carries it as its kind.
enum Stage : int32_t {
    STAGE_IDLE = 0,
    STAGE_CONNECTING = 1,
    STAGE_CONNECTED = 2,
    STAGE_REQUEST_SENT = 3,
};

// Wakes a worker that waits, so that it sees a stop request. Like every message the loop does
// not know, it is removed and ignored.
constexpr uint32_t TM_STOP_REQUESTED = 1031;

constexpr uint32_t kFirstWaitMs = 1;

std::atomic<uint32_t> silenceLimitForTesting{0};

bool Stopping(const DownloadJob& job) {
    return job.stopRequested.load(std::memory_order_acquire);
}

void Post(const DownloadJob& job, uint32_t message, int32_t wParam, int32_t lParam) {
    platform::PostThreadMessage(job.threadId, message, static_cast<uintptr_t>(wParam), lParam);
}

// Slots run only while no stop was asked for: once the owner asks, the worker calls none.
void ReportError(DownloadJob& job, int32_t kind, int32_t code) {
    if (job.OnError && !Stopping(job)) job.OnError(job.owner, kind, code);
}

// Minus the status code, in two's complement, so that even INT32_MIN from a hostile status
// line cannot overflow.
int32_t NegatedStatus(int32_t status) {
    return static_cast<int32_t>(0u - static_cast<uint32_t>(status));
}

bool AcceptedStatus(int32_t status) {
    return status == 200 || status == 206 || status == 304;
}

// Everything one run keeps apart from the record: its copies of the settings, the stage, the
// current wait, and the one receive buffer that serves the whole run.
struct Run {
    std::string addressText;
    int32_t port = 0;
    std::string requestPath;
    std::string hostHeader;
    int32_t stage = STAGE_IDLE;
    uint32_t timeoutMs = kFirstWaitMs;
    char buffer[kReceiveBufferSize];
};

// What comes before the loop: the events, the host's address, the folder, and an output file
// that is sure to start empty. False when the run ends here.
bool PrepareRun(DownloadJob& job, Run& run) {
    job.networkEvent = platform::CreateManualResetEvent();
    if (job.networkEvent != -1) job.finishedEvent = platform::CreateManualResetEvent();
    if (job.networkEvent == -1 || job.finishedEvent == -1) {
        ReportError(job, KIND_SETUP, platform::GetLastErrorCode());
        return false;
    }
    if (Stopping(job)) return false;

    const std::optional<std::string> resolved = platform::ResolveIPv4Host(job.hostName);
    run.addressText = resolved ? *resolved : job.hostName;
    run.port = job.serverPort;
    run.requestPath = job.requestPath;
    run.hostHeader = job.hostHeader;
    const std::string folderName = job.folderName;

    const std::string folderPath =
        platform::ToNarrow(platform::DocumentsFolder()) + platform::kPathSeparator + folderName;
    platform::CreateFolder(
        folderPath);  // an existing folder is fine; a missing one fails the delete

    const size_t slash = run.requestPath.rfind('/');
    if (slash == std::string::npos) {
        ReportError(job, KIND_SETUP, platform::kErrorInvalidData);
        return false;
    }
    job.outputPath = folderPath + platform::kPathSeparator + run.requestPath.substr(slash + 1);
    if (!platform::DeleteFileAt(job.outputPath) &&
        platform::GetLastErrorCode() != platform::kErrorFileNotFound) {
        ReportError(job, KIND_SETUP, platform::GetLastErrorCode());
        return false;
    }
    return true;
}

void OnSilence(DownloadJob& job, Run& run) {
    if (run.stage != STAGE_IDLE) {
        Post(job, TM_JOB_FAILED, run.stage, platform::kErrorTimeout);
        return;
    }
    run.stage = STAGE_CONNECTING;
    run.timeoutMs = SilenceLimitMs();
    const int32_t result = ConnectToServer(job, run.addressText, run.port);
    if (result != 0 && result != platform::kWsaEWouldBlock)
        Post(job, TM_JOB_FAILED, KIND_CONNECT, result);
}

// One FD_READ: a read, the status test, the append and its reports. False when the FD_WRITE
// test of this wake-up is to be skipped.
bool OnReadable(DownloadJob& job, Run& run) {
    int32_t count = 0;
    const int32_t result = ReceiveResponseData(job, run.buffer, count);
    if (result == platform::kWsaEWouldBlock) return true;
    if (result != 0) {
        Post(job, TM_JOB_FAILED, run.stage, platform::GetLastErrorCode());
        return false;
    }
    if (!AcceptedStatus(job.statusCode)) {
        Post(job, TM_JOB_FAILED, run.stage, NegatedStatus(job.statusCode));
        return false;
    }
    if (count < 1) return true;
    const int32_t written = AppendToFile(job.outputPath, run.buffer, count);
    if (written < 0) {
        Post(job, TM_JOB_FAILED, run.stage, platform::GetLastErrorCode());
        return true;
    }
    job.receivedBytes += static_cast<int64_t>(written);
    if (Stopping(job)) return true;
    if (job.OnProgress) job.OnProgress(job.owner, written, job.contentLength);
    if (job.OnCompleted && job.receivedBytes == job.contentLength && !Stopping(job)) {
        job.OnCompleted(job.owner, 0);
        Post(job, TM_JOB_FINISHED, 0, 0);
    }
    return true;
}

void OnNetworkEvent(DownloadJob& job, Run& run) {
    const uint32_t events = platform::EnumNetworkEvents(job.socket, job.networkEvent);
    if ((events & platform::FD_READ) && !OnReadable(job, run)) return;
    if (events & platform::FD_WRITE) {
        Post(job, run.stage == STAGE_CONNECTING ? TM_CONNECTED : TM_SEND_REQUEST, 0, 0);
    }
}

// Handles the queued messages in order. True when one of them ended the run.
bool OnMessages(DownloadJob& job, Run& run) {
    platform::ThreadMessage message;
    while (!Stopping(job) && platform::PeekThreadMessage(message)) {
        switch (message.message) {
            case TM_JOB_FINISHED:
            case TM_JOB_FAILED: {
                CloseConnection(job);
                const int32_t kind = message.message == TM_JOB_FINISHED
                                         ? KIND_FINISHED
                                         : static_cast<int32_t>(message.wParam);
                ReportError(job, kind, static_cast<int32_t>(message.lParam));
                return true;
            }
            case TM_CONNECTED:
                if (job.OnConnected)
                    job.OnConnected(job.owner, static_cast<int32_t>(message.lParam));
                Post(job, TM_SEND_REQUEST, 0, 0);
                run.stage = STAGE_CONNECTED;
                break;
            case TM_SEND_REQUEST: {
                const int32_t result = SendRequest(job, run.requestPath, run.hostHeader);
                if (job.OnRequestSent && !Stopping(job)) job.OnRequestSent(job.owner, result);
                run.stage = STAGE_REQUEST_SENT;
                break;
            }
            default:
                break;
        }
    }
    return false;
}

}  // namespace

uint32_t SilenceLimitMs() {
    const uint32_t shortened = silenceLimitForTesting.load(std::memory_order_relaxed);
    return shortened != 0 ? shortened : kSilenceLimitMs;
}

void SetSilenceLimitForTesting(uint32_t milliseconds) {
    silenceLimitForTesting.store(milliseconds, std::memory_order_relaxed);
}

void InitDownloadJob(DownloadJob& job) {
    job.threadId = 0xFFFFFFFF;
    job.socket = -1;
    job.networkEvent = -1;
    job.headerComplete = 0;
    job.headerLength = 0;
    job.contentLength = 0;
    job.statusCode = 0;
    job.outputPath.clear();
    job.receivedBytes = 0;
    job.response = CHttpParamMessage();
    job.finishedEvent = -1;
    job.owner = nullptr;
    job.hostName.clear();
    job.serverPort = 80;
    job.requestPath.clear();
    job.hostHeader.clear();
    job.folderName.clear();
    job.OnConnected = nullptr;
    job.OnRequestSent = nullptr;
    job.OnProgress = nullptr;
    job.OnCompleted = nullptr;
    job.OnError = nullptr;
    job.stopRequested.store(false);
}

void FreeDownloadJob(DownloadJob& job) {
    if (job.finishedEvent != -1) {
        platform::CloseEvent(job.finishedEvent);
        job.finishedEvent = -1;
    }
    std::string().swap(job.folderName);
    std::string().swap(job.hostHeader);
    std::string().swap(job.requestPath);
    std::string().swap(job.hostName);
    job.response = CHttpParamMessage();
    std::string().swap(job.outputPath);
}

void DownloadThreadMain(void* argument) {
    auto& job = *static_cast<DownloadJob*>(argument);
    RunDownload(job);
    platform::SetEventSignal(job.finishedEvent);
}

void RunDownload(DownloadJob& job) {
    Run run;
    if (PrepareRun(job, run)) {
        for (;;) {
            if (Stopping(job)) break;
            const int32_t woken = platform::WaitForEventOrMessage(job.networkEvent, run.timeoutMs);
            if (Stopping(job)) break;
            if (woken == platform::kWaitTimeout) {
                OnSilence(job, run);
            } else if (woken == platform::kWaitMessage) {
                if (OnMessages(job, run)) break;
            } else if (woken == platform::kWaitEvent) {
                OnNetworkEvent(job, run);
            }
            // A failed wait is simply repeated.
        }
    }
    // Whatever ended the run, nothing of the connection outlives it, the set-up's network
    // event included.
    CloseConnection(job);
}

void RequestDownloadStop(DownloadJob& job) {
    job.stopRequested.store(true, std::memory_order_release);
    Post(job, TM_STOP_REQUESTED, 0, 0);
}

bool WaitForDownloadEnd(const DownloadJob& job, uint32_t timeoutMs) {
    return platform::WaitForThreadEnd(job.threadId, timeoutMs);
}

int32_t AppendToFile(const std::string& path, const void* data, int32_t count) {
    const int file = platform::OpenFileForWriting(path);
    if (file == -1) return -1;
    if (!platform::SeekToEnd(file)) {
        platform::CloseFile(file);
        return -1;
    }
    const int64_t written = platform::WriteFully(file, data, static_cast<size_t>(count));
    platform::CloseFile(file);
    return written < 0 ? -1 : static_cast<int32_t>(written);
}
