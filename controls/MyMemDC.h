// An off-screen drawing surface over FLTK's current drawing target for the length of one paint.
//
// The surface covers the paint area: the requested rectangle cut to the target's current clip.
// Everything drawn through it uses the target's coordinates and lands on the screen in one copy
// when the object is destroyed, so a paint made of several layers never shows half done.
#pragma once

#include <FL/Enumerations.H>

#include <string_view>

struct PaintRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;

    int Right() const { return x + w; }
    bool Empty() const { return w <= 0 || h <= 0; }
};

class CMyMemDC {
public:
    // Must be constructed while FLTK draws into a window (inside a widget's draw()).
    explicit CMyMemDC(const PaintRect& wanted);
    ~CMyMemDC();
    CMyMemDC(const CMyMemDC&) = delete;
    CMyMemDC& operator=(const CMyMemDC&) = delete;

    // False when nothing of the wanted rectangle is to be painted; drawing calls then do nothing.
    bool HasSurface() const { return offscreenBitmap != 0; }
    const PaintRect& PaintArea() const { return paintArea; }

    void FillSolidRect(const PaintRect& rect, Fl_Color color);
    // Clips the calls that follow to rect (within the paint area) until PopClip.
    void PushClip(const PaintRect& rect);
    void PopClip();
    // One line of UTF-8 text centred in box in both directions, on a transparent background.
    // Line feeds and '@' are drawn as they are, never as line breaks or symbols.
    void DrawCenteredText(std::string_view text, const PaintRect& box, Fl_Color color,
                          Fl_Font font, Fl_Fontsize size);

private:
    int ToSurfaceX(int targetX) const { return targetX - paintArea.x; }
    int ToSurfaceY(int targetY) const { return targetY - paintArea.y; }

    // X drawables (Fl_Offscreen, Window), kept out of this header so Xlib's macros stay out too.
    unsigned long offscreenBitmap = 0;
    unsigned long previousBitmap = 0;  // the drawable FLTK drew into before the surface
    class Fl_Surface_Device* targetDC = nullptr;
    PaintRect paintArea;
};
