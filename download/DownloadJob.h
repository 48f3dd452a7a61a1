// One download: the record that the main window fills and the worker thread works on.
//
// The window fills the settings and the five slots, then starts DownloadThreadMain with the
// record; from then on only the worker writes it, and every step, failure and the end reach
// the window through the slots, always on the worker thread, always with `owner` first.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "download/HttpParamMessage.h"

class CtarnwickDlg;

using OnConnectedSlot = int32_t (*)(CtarnwickDlg* owner, int32_t code);
using OnRequestSentSlot = int32_t (*)(CtarnwickDlg* owner, int32_t result);
using OnProgressSlot = int32_t (*)(CtarnwickDlg* owner, int32_t written, int64_t total);
using OnCompletedSlot = int32_t (*)(CtarnwickDlg* owner, int32_t code);
using OnErrorSlot = int32_t (*)(CtarnwickDlg* owner, int32_t kind, int32_t code);

// Error kinds handed to OnError. A failure inside the loop carries the stage as its kind.
enum : int32_t {
    KIND_SETUP = 0,
    KIND_CONNECT = 1,
    KIND_REQUEST = 2,
    KIND_RECEIVE = 3,
    KIND_FINISHED = 9,
};

// Messages the worker posts to its own queue.
enum : uint32_t {
    TM_JOB_FINISHED = 1001,
    TM_JOB_FAILED = 1011,
    TM_CONNECTED = 1021,
    TM_SEND_REQUEST = 1022,
};

inline constexpr int kHeaderBufferSize = 8195;
inline constexpr int kHeaderReadLimit = 8192;
inline constexpr int kReceiveBufferSize = 8196;
inline constexpr int kBodyReadLimit = 8192;

struct DownloadJob {
    uint32_t threadId;
    int socket;        // -1: none
    int networkEvent;  // -1: none
    uint8_t headerComplete;
    char headerBuffer[kHeaderBufferSize];
    int32_t headerLength;
    int64_t contentLength;
    int32_t statusCode;
    std::string outputPath;
    int64_t receivedBytes;
    CHttpParamMessage response;
    int finishedEvent;  // -1: none
    CtarnwickDlg* owner;
    std::string hostName;
    int32_t serverPort;
    std::string requestPath;
    std::string hostHeader;
    std::string folderName;
    OnConnectedSlot OnConnected;
    OnRequestSentSlot OnRequestSent;
    OnProgressSlot OnProgress;
    OnCompletedSlot OnCompleted;
    OnErrorSlot OnError;
    // Set by RequestDownloadStop from any thread; the worker reads it before every step.
    std::atomic<bool> stopRequested;
};

void InitDownloadJob(DownloadJob& job);
void FreeDownloadJob(DownloadJob& job);

// The worker thread's entry (its argument is the DownloadJob): RunDownload, then
// finishedEvent is set.
void DownloadThreadMain(void* job);
void RunDownload(DownloadJob& job);

// Asks a running worker to stop, from any thread: once the slot it may be in has returned it
// calls no further slot, closes the connection, ends its run and sets finishedEvent.
// The owner then waits for finishedEvent before it frees the record.
void RequestDownloadStop(DownloadJob& job);

// Waits until the worker thread of job has ended (it touches the record no more). Safe from
// any thread at any moment after the worker was created, unlike reading finishedEvent, which
// the worker creates itself. True once ended, false after timeoutMs (0: just look).
bool WaitForDownloadEnd(const DownloadJob& job, uint32_t timeoutMs);

// Bytes written, or -1 when the file cannot be opened, positioned or written.
int32_t AppendToFile(const std::string& path, const void* data, int32_t count);
