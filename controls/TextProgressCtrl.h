// The main window's progress bar: a filled and an empty part, and a percentage label drawn
// over both, in the empty part's colour over the filled part and the other way round, so it
// reads on either side of the edge. Every paint goes through one off-screen surface (CMyMemDC)
// and nothing is erased first, so the bar never flickers.
//
// Threads: SetPos may be called from any thread (the download worker moves the bar). It touches
// no FLTK state there: it exchanges the position and the last filled width atomically and, when
// the filled width in pixels changed, asks the window's thread (the thread that constructed the
// control) to repaint through Fl::awake, with at most one such request outstanding. That thread
// must have called Fl::lock() once, as FLTK requires of programs that wake it from other threads.
// Everything else (SetRange included, which a paint reads) is meant for the window's thread.
#pragma once

#include <FL/Fl_Widget.H>

#include <atomic>
#include <string>
#include <thread>

// The share of the range that position has reached, in double precision. Positions outside the
// range count as its nearest end; an empty range (lower not below upper) gives 0.
double ProgressFraction(int position, int rangeMin, int rangeMax);
// Width in pixels of the filled part: clientWidth times fraction, truncated toward zero.
int FilledBarWidth(double fraction, int clientWidth);
// "37%", or the window text, two spaces and "37%"; the percentage is fraction times 100.0,
// truncated toward zero (2 of 3 reads 66%, 29 of 100 reads 28%).
std::wstring ProgressLabel(const std::wstring& windowText, double fraction);

class CTextProgressCtrl : public Fl_Widget {
public:
    CTextProgressCtrl(int x, int y, int w, int h);
    ~CTextProgressCtrl() override;
    CTextProgressCtrl(const CTextProgressCtrl&) = delete;
    CTextProgressCtrl& operator=(const CTextProgressCtrl&) = delete;

    // Stores the range; nothing is redrawn.
    void SetRange(int lower, int upper);
    // Moves the bar; a position above the range starts it again from empty. Returns the
    // previous position, or -1 (storing nothing) when the control belongs to no window: it
    // belongs to one once built inside it (or shown in it) and until it is destroyed.
    // Repaints only when the filled width in pixels changes, and after a resize.
    int SetPos(int newPosition);

    // The window text, shown before the percentage. Setting a different text repaints the
    // control; setting the same one again does nothing. A null text counts as empty. Returns
    // nonzero, as the default handling does.
    int SetWindowText(const wchar_t* text);
    // Copies the window text into buffer, cut to size - 1 characters and a terminator, and
    // returns the number of characters copied.
    int GetWindowText(wchar_t* buffer, int size) const;

    void resize(int x, int y, int w, int h) override;
    int handle(int event) override;

protected:
    void draw() override;

private:
    void RequestRepaint();
    static void RepaintOnWindowThread(void* control);
    void NoteWhetherInWindow() { hasWindow = window() != nullptr; }

    std::atomic<int> position{0};
    std::atomic<int> rangeMax{100};
    std::atomic<int> rangeMin{0};
    std::wstring windowText;
    std::atomic<int> lastBarWidth{-1};
    const Fl_Color barColor;
    const Fl_Color backColor;
    const Fl_Color textOnBackColor;
    const Fl_Color textOnBarColor;

    // What SetPos needs of FLTK's state, kept where another thread may read it.
    std::atomic<int> clientWidth;
    std::atomic<bool> hasWindow{false};
    std::atomic<bool> repaintPending{false};
    const std::thread::id windowThread;
};
