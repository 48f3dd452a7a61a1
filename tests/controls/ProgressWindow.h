// A shown window holding one progress bar, with what the tests need to watch it: a count of
// its paints, the event loop run until nothing is left to draw, and its pixels read back.
#pragma once

// GoogleTest before any FLTK header: Xlib defines macros (Bool, None) that break it.
#include <gtest/gtest.h>

#include "controls/MyMemDC.h"
#include "controls/TextProgressCtrl.h"
#include "support/XvfbDisplay.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <FL/x.H>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using Rgb = std::array<unsigned char, 3>;

inline Rgb ColorOf(Fl_Color color) {
    Rgb rgb{};
    Fl::get_color(color, rgb[0], rgb[1], rgb[2]);
    return rgb;
}

// Pixels of one rectangle of the screen, row by row.
struct Picture {
    int w = 0;
    int h = 0;
    std::vector<unsigned char> rgb;

    Rgb At(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * w + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// How far a pixel has gone from the background colour towards the ink colour, 0 to 1.
inline double Coverage(const Rgb& pixel, const Rgb& background, const Rgb& ink) {
    double best = 0;
    for (int c = 0; c < 3; ++c) {
        const int span = ink[c] - background[c];
        if (span == 0) continue;
        best = std::max(best, static_cast<double>(pixel[c] - background[c]) / span);
    }
    return best;
}

// The bar that counts its paints.
class CountingProgressCtrl : public CTextProgressCtrl {
public:
    using CTextProgressCtrl::CTextProgressCtrl;
    std::atomic<int> paints{0};

protected:
    void draw() override {
        ++paints;
        CTextProgressCtrl::draw();
    }
};

// Draws one line of text black on white through CMyMemDC: what a label should look like.
class ReferenceText : public Fl_Widget {
public:
    ReferenceText(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
    std::string text;

protected:
    void draw() override {
        const PaintRect client{x(), y(), w(), h()};
        CMyMemDC dc(client);
        dc.FillSolidRect(client, FL_WHITE);
        dc.DrawCenteredText(text, client, FL_BLACK, labelfont(), labelsize());
    }
};

class ProgressWindow {
public:
    static constexpr int kLeft = 20;
    static constexpr int kTop = 10;
    static constexpr int kHeight = 24;

    // The reference text is as wide as the bar unless told otherwise, so their labels line up.
    explicit ProgressWindow(int barWidth, int referenceWidth = 0)
        : window(std::make_unique<Fl_Window>(0, 0, 2 * kLeft + std::max(barWidth, referenceWidth) + 40,
                                             3 * kTop + 2 * kHeight, "progress")) {
        window->begin();
        bar = new CountingProgressCtrl(kLeft, kTop, barWidth, kHeight);
        reference = new ReferenceText(kLeft, 2 * kTop + kHeight, referenceWidth > 0 ? referenceWidth : barWidth, kHeight);
        window->end();
    }

    // Shows the window and runs the loop until it is mapped and has been painted.
    ::testing::AssertionResult Show() {
        window->show();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(window->shown() && window->visible() && bar->paints > 0)) {
            if (std::chrono::steady_clock::now() > deadline) {
                return ::testing::AssertionFailure() << "the window was never painted";
            }
            Fl::wait(0.02);
        }
        Settle();
        return ::testing::AssertionSuccess();
    }

    // Runs the event loop until every pending wake-up and redraw has been carried out.
    static void Settle() {
        for (int i = 0; i < 5; ++i) {
            Fl::flush();
            Fl::check();
        }
        XSync(fl_display, False);
    }

    Picture Capture(const Fl_Widget& widget) {
        Settle();
        Picture picture{widget.w(), widget.h(), {}};
        picture.rgb.resize(static_cast<std::size_t>(picture.w) * picture.h * 3);
        window->make_current();
        fl_read_image(picture.rgb.data(), widget.x(), widget.y(), picture.w, picture.h);
        return picture;
    }

    Picture CaptureBar() { return Capture(*bar); }

    // Where the reference text has ink (coverage above one half), row by row.
    std::vector<bool> ReferenceInk(const std::string& text) {
        reference->text = text;
        reference->redraw();
        const Picture picture = Capture(*reference);
        std::vector<bool> ink;
        for (int y = 0; y < picture.h; ++y)
            for (int x = 0; x < picture.w; ++x)
                ink.push_back(Coverage(picture.At(x, y), {255, 255, 255}, {0, 0, 0}) > 0.5);
        return ink;
    }

    std::unique_ptr<Fl_Window> window;
    CountingProgressCtrl* bar = nullptr;  // owned by the window
    ReferenceText* reference = nullptr;   // owned by the window
};

// Where the bar's label has ink, reading each pixel against the colours of its own part: the
// filled part (left of edge) is the selection colour with text in the text-background colour,
// the empty part the other way round.
inline std::vector<bool> LabelInk(const Picture& bar, int edge) {
    const Rgb selection = ColorOf(FL_SELECTION_COLOR);
    const Rgb background = ColorOf(FL_BACKGROUND2_COLOR);
    std::vector<bool> ink;
    for (int y = 0; y < bar.h; ++y)
        for (int x = 0; x < bar.w; ++x)
            ink.push_back(x < edge ? Coverage(bar.At(x, y), selection, background) > 0.5
                                   : Coverage(bar.At(x, y), background, selection) > 0.5);
    return ink;
}

inline int CountTrue(const std::vector<bool>& mask) {
    int n = 0;
    for (bool b : mask) n += b;
    return n;
}

inline int CountDifferences(const std::vector<bool>& a, const std::vector<bool>& b) {
    int n = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
    return n + static_cast<int>(a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}
