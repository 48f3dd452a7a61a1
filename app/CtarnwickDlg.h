// The main window: a status line, the progress bar and a byte-count line.
//
// The window owns the one download. While it initialises (before it is shown) it fetches the
// configuration, fills the job, puts its handlers into the job's five slots and starts the
// worker; from then on it shows what the worker reports. The handlers run on the worker thread
// and reach the window through the window thread's hand-offs (platform/WindowThread.h): status
// texts are applied before the worker goes on, progress is handed over without waiting (the
// newest counts win), message boxes hold the worker until OK. At the normal end the window
// waits for the worker thread and goes away by itself; a failure is shown in a box and the
// window stays open until the user closes it.
//
// Closing the window while the worker runs (close box, Escape or Enter) asks the worker to
// stop, closes a box it waits on, and waits until the worker has ended before the window goes
// away, so neither the job nor the window is freed under a running worker. A download that
// was already complete is still extracted then, but the launcher is not started: the user has
// closed the program.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "config/Configuration.h"
#include "download/DownloadJob.h"

class CTextProgressCtrl;
class Fl_Box;
class Fl_RGB_Image;

// Posted by the error handler at the normal end of a run (WM_USER + 1).
inline constexpr uint32_t WM_RUN_FINISHED = 1025;

class CtarnwickDlg {
public:
    CtarnwickDlg();
    ~CtarnwickDlg();
    CtarnwickDlg(const CtarnwickDlg&) = delete;
    CtarnwickDlg& operator=(const CtarnwickDlg&) = delete;

    // Creates the window from its template, initialises it, shows it and handles the window
    // thread's events until the window has gone away. The window thread is the calling one.
    int DoModal();

    // The job's five slots; all run on the worker thread with the window as owner.
    static int32_t OnConnected(CtarnwickDlg* dlg, int32_t code);
    static int32_t OnRequestSent(CtarnwickDlg* dlg, int32_t result);
    static int32_t OnProgress(CtarnwickDlg* dlg, int32_t written, int64_t total);
    static int32_t OnCompleted(CtarnwickDlg* dlg, int32_t code);
    static int32_t OnError(CtarnwickDlg* dlg, int32_t kind, int32_t code);

private:
    class DialogWindow;

    void CreateWindowFromTemplate();
    bool OnInitDialog();
    void LoadConfiguration();
    void InitStatusDisplay();
    void StartWorker();
    void OnRunFinished();
    void OnCloseRequested();
    void StopWorker();
    void WaitForWorkerEnd();
    void DestroyWindow();

    // Status line := text, on the window thread; the caller goes on once it is shown. A text
    // equal to the one shown changes nothing and is not handed over.
    void SetStatusText(const std::wstring& text);
    // Hands the newest byte counts to the window thread without waiting.
    void PostByteCounts(int64_t received, int64_t total);
    void ApplyByteCounts();
    static void CatchUpByteCounts(void* dlg);
    void ReportExtractionFailure(int reportedErrorCode);

    std::unique_ptr<Fl_RGB_Image> appIcon;
    std::unique_ptr<DialogWindow> window;
    CTextProgressCtrl* progressBar = nullptr;  // owned by window
    Fl_Box* statusLine = nullptr;              // owned by window
    Fl_Box* byteCountLine = nullptr;           // owned by window
    DownloadJob job;
    // configText and launcherArguments, with what the fetch needs while it runs.
    ConfigurationState configuration;

    // The status text last handed over: written by the window thread until the worker starts,
    // by the worker afterwards.
    std::wstring statusShown;
    // The newest byte counts, waiting for the window thread.
    std::mutex byteCountsLock;
    int64_t byteCountsReceived = 0;
    int64_t byteCountsTotal = 0;
    static constexpr std::chrono::milliseconds kByteCountsFrame{16};
    std::chrono::steady_clock::time_point lastByteCountsPost;  // worker only
    bool byteCountsCatchUpDue = false;                          // window thread only

    bool workerStarted = false;  // window thread only
    // Set by the window thread when the user closes the window; read by the worker.
    std::atomic<bool> closing{false};
};

// Starts the launcher file with the parameter text, without waiting for it. 0 when it was
// started, 1 otherwise.
int StartLauncher(std::wstring file, std::wstring parameters);
