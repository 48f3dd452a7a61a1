#include "controls/MyMemDC.h"

#include <FL/Fl_Device.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <string>

static_assert(sizeof(Fl_Offscreen) == sizeof(unsigned long) && sizeof(Window) == sizeof(unsigned long));

namespace {

PaintRect CutToCurrentClip(const PaintRect& wanted) {
    PaintRect area;
    fl_clip_box(wanted.x, wanted.y, wanted.w, wanted.h, area.x, area.y, area.w, area.h);
    return area;
}

}  // namespace

CMyMemDC::CMyMemDC(const PaintRect& wanted) : paintArea(CutToCurrentClip(wanted)) {
    // Outside a window's paint there is no target (and no graphics context) to draw for.
    if (paintArea.Empty() || !fl_window || !fl_gc) return;
    offscreenBitmap = fl_create_offscreen(paintArea.w, paintArea.h);
    if (!offscreenBitmap) return;
    // What fl_begin_offscreen() does, spread over the life of this object.
    previousBitmap = fl_window;
    targetDC = Fl_Surface_Device::surface();
    fl_window = offscreenBitmap;
    Fl_Display_Device::display_device()->set_current();
    fl_push_no_clip();
}

CMyMemDC::~CMyMemDC() {
    if (!offscreenBitmap) return;
    fl_pop_clip();
    fl_window = previousBitmap;
    targetDC->set_current();
    fl_copy_offscreen(paintArea.x, paintArea.y, paintArea.w, paintArea.h, offscreenBitmap, 0, 0);
    fl_delete_offscreen(offscreenBitmap);
    offscreenBitmap = 0;
}

void CMyMemDC::FillSolidRect(const PaintRect& rect, Fl_Color color) {
    if (!HasSurface() || rect.Empty()) return;
    fl_color(color);
    fl_rectf(ToSurfaceX(rect.x), ToSurfaceY(rect.y), rect.w, rect.h);
}

void CMyMemDC::PushClip(const PaintRect& rect) {
    if (!HasSurface()) return;
    fl_push_clip(ToSurfaceX(rect.x), ToSurfaceY(rect.y), rect.w > 0 ? rect.w : 0, rect.h > 0 ? rect.h : 0);
}

void CMyMemDC::PopClip() {
    if (HasSurface()) fl_pop_clip();
}

void CMyMemDC::DrawCenteredText(std::string_view text, const PaintRect& box, Fl_Color color,
                                Fl_Font font, Fl_Fontsize size) {
    if (!HasSurface() || text.empty()) return;
    fl_font(font, size);
    fl_color(color);
    const int length = static_cast<int>(text.size());
    const int width = static_cast<int>(fl_width(text.data(), length));
    const int left = box.x + (box.w - width) / 2;
    const int baseline = box.y + (box.h - fl_height()) / 2 + fl_height() - fl_descent();
    // The plain string call: no alignment parsing, so no line breaks and no '@' symbols.
    fl_draw(text.data(), length, ToSurfaceX(left), ToSurfaceY(baseline));
}
