// Runs one DownloadJob on a real worker thread and records what its slots saw.
//
// The job gets a Documents folder of its own (HOME in a scratch folder), the host 127.0.0.1 at
// a test server's port, and slots that write one line each into a trace:
//     "connected 0", "sent 0", "progress 5 10", "completed 0", "error 9 0"
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "download/DownloadJob.h"
#include "support/ScratchFolder.h"

class DownloadRun {
  public:
    DownloadRun();
    ~DownloadRun();

    DownloadJob job;

    // Starts the worker and waits until it has ended. False when it did not end in time.
    bool RunToEnd(uint16_t port, uint32_t timeoutMs = 30000);
    void Start(uint16_t port);
    bool WaitForEnd(uint32_t timeoutMs);

    std::vector<std::string> Trace() const;
    // Milliseconds from Start until the worker ended.
    int64_t ElapsedMs() const { return elapsedMs; }
    // The downloaded file's content; "<missing>" when there is none.
    std::string FileContent() const;
    std::string OutputPath() const;
    std::string Documents() const { return scratch.Path("Documents"); }

    // Called on the worker inside OnConnected, before the trace line is written.
    void (*onConnectedHook)(DownloadJob& job) = nullptr;
    // Slot calls that arrived after the test asked the worker to stop.
    int callsAfterStop() const { return lateCalls.load(); }
    void MarkStopAsked() { stopAsked = true; }

  private:
    static DownloadRun& Of(CtarnwickDlg* owner) { return *reinterpret_cast<DownloadRun*>(owner); }
    static int32_t OnConnected(CtarnwickDlg* owner, int32_t code);
    static int32_t OnRequestSent(CtarnwickDlg* owner, int32_t result);
    static int32_t OnProgress(CtarnwickDlg* owner, int32_t written, int64_t total);
    static int32_t OnCompleted(CtarnwickDlg* owner, int32_t code);
    static int32_t OnError(CtarnwickDlg* owner, int32_t kind, int32_t code);
    void Note(std::string line);

    ScratchFolder scratch;
    mutable std::mutex mutex;
    std::vector<std::string> trace;
    std::atomic<bool> stopAsked{false};
    std::atomic<int> lateCalls{0};
    std::chrono::steady_clock::time_point started;
    int64_t elapsedMs = -1;
};
