#include "controls/TextProgressCtrl.h"

#include "controls/MyMemDC.h"
#include "platform/Text.h"

#include <FL/Fl.H>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <mutex>
#include <unordered_set>

namespace {

// Controls alive on the window's thread. A repaint request queued by another thread may
// arrive after its control is gone; it then finds nothing here and does nothing.
std::mutex liveControlsLock;
std::unordered_set<const void*> liveControls;

void NoteAlive(const void* control) {
    std::lock_guard guard(liveControlsLock);
    liveControls.insert(control);
}

void NoteGone(const void* control) {
    std::lock_guard guard(liveControlsLock);
    liveControls.erase(control);
}

bool IsAlive(const void* control) {
    std::lock_guard guard(liveControlsLock);
    return liveControls.count(control) != 0;
}

// A colour of FLTK's map as a plain RGB value, so later changes of the map do not reach it.
Fl_Color FixedColor(Fl_Color index) {
    unsigned char red = 0, green = 0, blue = 0;
    Fl::get_color(index, red, green, blue);
    return fl_rgb_color(red, green, blue);
}

}  // namespace

double ProgressFraction(int position, int rangeMin, int rangeMax) {
    if (rangeMin >= rangeMax) return 0.0;
    const double fraction = (static_cast<double>(position) - rangeMin) /
                            (static_cast<double>(rangeMax) - rangeMin);
    return std::clamp(fraction, 0.0, 1.0);
}

int FilledBarWidth(double fraction, int clientWidth) {
    return static_cast<int>(std::trunc(clientWidth * fraction));
}

std::wstring ProgressLabel(const std::wstring& windowText, double fraction) {
    const std::wstring percentage = std::to_wstring(static_cast<int>(std::trunc(fraction * 100.0))) + L"%";
    return windowText.empty() ? percentage : windowText + L"  " + percentage;
}

CTextProgressCtrl::CTextProgressCtrl(int x, int y, int w, int h)
    : Fl_Widget(x, y, w, h),
      barColor(FixedColor(FL_SELECTION_COLOR)),
      backColor(FixedColor(FL_BACKGROUND2_COLOR)),
      textOnBackColor(FixedColor(FL_SELECTION_COLOR)),
      textOnBarColor(FixedColor(FL_BACKGROUND2_COLOR)),
      clientWidth(w),
      windowThread(std::this_thread::get_id()) {
    NoteWhetherInWindow();
    NoteAlive(this);
}

CTextProgressCtrl::~CTextProgressCtrl() {
    hasWindow = false;
    NoteGone(this);
}

void CTextProgressCtrl::SetRange(int lower, int upper) {
    rangeMin = lower;
    rangeMax = upper;
}

int CTextProgressCtrl::SetPos(int newPosition) {
    const int low = rangeMin;
    const int high = rangeMax;
    if (newPosition > high) newPosition = low;
    if (!hasWindow) return -1;
    const int previous = position.exchange(newPosition);
    const int filledWidth = FilledBarWidth(ProgressFraction(newPosition, low, high), clientWidth);
    if (lastBarWidth.exchange(filledWidth) != filledWidth) RequestRepaint();
    return previous;
}

void CTextProgressCtrl::RequestRepaint() {
    if (std::this_thread::get_id() == windowThread) {
        redraw();
        return;
    }
    // One request in FLTK's wake-up queue is enough: the paint reads the latest position.
    // The queue is small and refuses what does not fit, so it must never be flooded by us.
    if (repaintPending.exchange(true)) return;
    if (Fl::awake(&CTextProgressCtrl::RepaintOnWindowThread, this) != 0) {
        // Someone else filled the queue. Without a request on its way, the next SetPos must
        // ask again whatever its width, or the bar would stop moving for good.
        lastBarWidth = -1;
        repaintPending = false;
    }
}

void CTextProgressCtrl::RepaintOnWindowThread(void* control) {
    if (!IsAlive(control)) return;
    auto* self = static_cast<CTextProgressCtrl*>(control);
    self->repaintPending = false;
    self->redraw();
}

int CTextProgressCtrl::SetWindowText(const wchar_t* text) {
    const std::wstring newText = text ? text : L"";
    if (newText != windowText) {
        windowText = newText;
        redraw();
    }
    return 1;
}

int CTextProgressCtrl::GetWindowText(wchar_t* buffer, int size) const {
    if (!buffer || size <= 0) return 0;
    const int copied = static_cast<int>(std::min<std::size_t>(windowText.size(), size - 1));
    std::wmemcpy(buffer, windowText.data(), copied);
    buffer[copied] = L'\0';
    return copied;
}

void CTextProgressCtrl::resize(int x, int y, int w, int h) {
    Fl_Widget::resize(x, y, w, h);
    clientWidth = w;
    lastBarWidth = -1;
}

int CTextProgressCtrl::handle(int event) {
    if (event == FL_SHOW) NoteWhetherInWindow();
    return Fl_Widget::handle(event);
}

void CTextProgressCtrl::draw() {
    const int low = rangeMin;
    const int high = rangeMax;
    if (low >= high) return;
    const PaintRect client{x(), y(), w(), h()};
    const double fraction = ProgressFraction(position, low, high);

    CMyMemDC dc(client);
    const int edge = client.x + FilledBarWidth(fraction, client.w);
    const PaintRect filled{client.x, client.y, edge - client.x, client.h};
    const PaintRect empty{edge, client.y, client.Right() - edge, client.h};
    dc.FillSolidRect(filled, barColor);
    dc.FillSolidRect(empty, backColor);

    const std::string label = platform::ToNarrow(ProgressLabel(windowText, fraction));
    dc.PushClip(filled);
    dc.DrawCenteredText(label, client, textOnBarColor, labelfont(), labelsize());
    dc.PopClip();
    dc.PushClip(empty);
    dc.DrawCenteredText(label, client, textOnBackColor, labelfont(), labelsize());
    dc.PopClip();
}
