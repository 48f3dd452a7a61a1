#include "app/CtarnwickDlg.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_PNG_Image.H>

#include "app/FormatByteCount.h"
#include "app/WindowRules.h"
#include "app/WindowTexts.h"
#include "controls/TextProgressCtrl.h"
#include "platform/Events.h"
#include "platform/NoticeBox.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "platform/WindowThread.h"
#include "res/Resources.h"

// The window itself: it only turns the close box, Escape and Enter into one close request.
class CtarnwickDlg::DialogWindow : public Fl_Double_Window {
public:
    DialogWindow(CtarnwickDlg& dlg, const res::PixelRect& r)
        : Fl_Double_Window(r.w, r.h, res::kMainWindowCaption), dlg(dlg) {
        callback([](Fl_Widget*, void* owner) { static_cast<CtarnwickDlg*>(owner)->OnCloseRequested(); },
                 &dlg);
    }

    int handle(int event) override {
        if ((event == FL_KEYBOARD || event == FL_SHORTCUT) &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            dlg.OnCloseRequested();
            return 1;
        }
        return Fl_Double_Window::handle(event);
    }

private:
    CtarnwickDlg& dlg;
};

CtarnwickDlg::CtarnwickDlg()
    : appIcon(std::make_unique<Fl_PNG_Image>(nullptr, res::kAppIconPng,
                                             static_cast<int>(res::kAppIconPngSize))) {
    InitDownloadJob(job);
}

CtarnwickDlg::~CtarnwickDlg() {
    // A window that ended normally or was closed has waited for its worker already; this covers
    // one that never ran its events to the end.
    StopWorker();
    // What the worker handed over and the window thread has not taken yet must not outlive the
    // window: the progress bar's repaint requests are taken here, ours are dropped.
    platform::DropPosted(this);
    platform::DropPosted(&job);
    Fl::remove_timeout(CatchUpByteCounts, this);
    Fl::check();
    window.reset();
    FreeDownloadJob(job);
}

int CtarnwickDlg::DoModal() {
    CreateWindowFromTemplate();
    OnInitDialog();
    // The template places the window at 0,0 of its owner; without one it goes to the middle
    // of the screen, where window managers put a new dialog too.
    window->position((Fl::w() - window->w()) / 2, (Fl::h() - window->h()) / 2);
    window->show();
    while (window->shown()) Fl::wait();
    return 0;
}

void CtarnwickDlg::CreateWindowFromTemplate() {
    window = std::make_unique<DialogWindow>(*this, res::ToPixels(res::kMainWindow));
    window->xclass("tarnwick");  // the desktop entry finds its window by this class
    const res::PixelRect bar = res::ToPixels(res::kProgressItem);
    progressBar = new CTextProgressCtrl(bar.x, bar.y, bar.w, bar.h);

    const res::PixelRect status = res::ToPixels(res::kStatusItem);
    statusLine = new Fl_Box(FL_FLAT_BOX, status.x, status.y, status.w, status.h, nullptr);
    statusLine->copy_label(res::kStatusItemText);
    statusLine->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);

    const res::PixelRect counts = res::ToPixels(res::kByteCountItem);
    byteCountLine = new Fl_Box(FL_FLAT_BOX, counts.x, counts.y, counts.w, counts.h, nullptr);
    byteCountLine->copy_label(res::kByteCountItemText);
    byteCountLine->align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    window->end();
}

bool CtarnwickDlg::OnInitDialog() {
    window->icon(appIcon.get());
    LoadConfiguration();
    job.owner = this;
    job.OnConnected = OnConnected;
    job.OnRequestSent = OnRequestSent;
    job.OnProgress = OnProgress;
    job.OnCompleted = OnCompleted;
    job.OnError = OnError;
    InitStatusDisplay();
    StartWorker();
    return true;
}

void CtarnwickDlg::LoadConfiguration() { ::LoadConfiguration(job, configuration); }

void CtarnwickDlg::InitStatusDisplay() {
    window->copy_label(job.folderName.c_str());
    SetStatusText(kStatusPreparing);
    byteCountLine->copy_label(kByteCountsEmpty);
    progressBar->SetRange(0, 100);
    progressBar->SetPos(0);
}

void CtarnwickDlg::StartWorker() {
    platform::OpenHandOffs();
    // The thread's result is not looked at: a worker that never ran shows nothing, and the
    // window stays open until the user closes it.
    workerStarted = platform::CreateThread(DownloadThreadMain, &job, &job.threadId);
}

void CtarnwickDlg::SetStatusText(const std::wstring& text) {
    if (text == statusShown) return;
    statusShown = text;
    const std::string narrow = platform::ToNarrow(text);
    platform::RunOnWindowThread([this, &narrow] {
        statusLine->copy_label(narrow.c_str());
        statusLine->redraw();
    });
}

void CtarnwickDlg::PostByteCounts(int64_t received, int64_t total) {
    {
        std::lock_guard guard(byteCountsLock);
        byteCountsReceived = received;
        byteCountsTotal = total;
    }
    // Counts beyond one a frame are never seen; waking the window thread for each piece would
    // only take time from the download. The last piece always goes over.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastByteCountsPost < kByteCountsFrame && received != total) return;
    lastByteCountsPost = now;
    platform::PostToWindowThread(this, [this] {
        ApplyByteCounts();
        // A frame later the window takes the newest counts once more, so the counts of pieces
        // that came in between are shown even when nothing follows them.
        if (!byteCountsCatchUpDue) {
            byteCountsCatchUpDue = true;
            Fl::add_timeout(std::chrono::duration<double>(kByteCountsFrame).count(), CatchUpByteCounts,
                            this);
        }
    });
}

void CtarnwickDlg::CatchUpByteCounts(void* dlg) {
    auto* self = static_cast<CtarnwickDlg*>(dlg);
    self->byteCountsCatchUpDue = false;
    self->ApplyByteCounts();
}

void CtarnwickDlg::ApplyByteCounts() {
    int64_t received = 0;
    int64_t total = 0;
    {
        std::lock_guard guard(byteCountsLock);
        received = byteCountsReceived;
        total = byteCountsTotal;
    }
    const std::wstring line =
        FormatByteCount(received) + L" Bytes / " + FormatByteCount(total) + L" Bytes";
    byteCountLine->copy_label(platform::ToNarrow(line).c_str());
    byteCountLine->redraw();
}

int32_t CtarnwickDlg::OnConnected(CtarnwickDlg* dlg, int32_t) {
    dlg->SetStatusText(kStatusConnected);
    return 0;
}

// The result is not looked at: a send that would block or failed still shows the text.
int32_t CtarnwickDlg::OnRequestSent(CtarnwickDlg* dlg, int32_t) {
    dlg->SetStatusText(kStatusRequestSent);
    return 0;
}

int32_t CtarnwickDlg::OnProgress(CtarnwickDlg* dlg, int32_t, int64_t total) {
    dlg->SetStatusText(kStatusDownloading);
    const int64_t received = dlg->job.receivedBytes;
    if (const std::optional<int32_t> position = ProgressPosition(received, total)) {
        dlg->progressBar->SetPos(*position);
    }
    dlg->PostByteCounts(received, total);
    return 0;
}

int32_t CtarnwickDlg::OnError(CtarnwickDlg* dlg, int32_t kind, int32_t code) {
    if (const std::wstring text = ErrorBoxText(kind, code); !text.empty()) {
        platform::ShowNoticeBox(text, kNoticeCaption);
    } else if (IsNormalEnd(kind, code)) {
        platform::PostToWindowThread(&dlg->job, [dlg] { dlg->OnRunFinished(); });
    }
    return 0;
}

void CtarnwickDlg::OnRunFinished() {
    platform::WaitForEvent(job.finishedEvent, platform::kInfinite);
    DestroyWindow();
}

void CtarnwickDlg::OnCloseRequested() {
    if (!window->shown()) return;
    window->hide();
    StopWorker();
}

void CtarnwickDlg::StopWorker() {
    if (!workerStarted) return;
    closing = true;
    RequestDownloadStop(job);
    // Whatever the worker waits on in the window thread is released, and it waits for nothing
    // more, so it can reach its end while this thread waits for it.
    platform::CloseNoticeBoxes();
    platform::CloseHandOffs();
    WaitForWorkerEnd();
}

void CtarnwickDlg::WaitForWorkerEnd() {
    if (!workerStarted) return;
    WaitForDownloadEnd(job, platform::kInfinite);
    workerStarted = false;
}

void CtarnwickDlg::DestroyWindow() {
    window->hide();
    WaitForWorkerEnd();
}
