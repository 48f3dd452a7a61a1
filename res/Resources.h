// The program's resources: the main window's template, its icon and the version.
//
// The window is laid out in dialog units, as it was designed, and turned into pixels at one
// fixed base unit (7 by 15 pixels: a 9-point dialog font at 96 dots per inch), which makes the
// window 410 by 116 pixels.
#pragma once

#include <cstddef>

namespace res {

struct DialogUnits {
    int x, y, cx, cy;
};

struct PixelRect {
    int x, y, w, h;
};

inline constexpr int kBaseUnitX = 7;
inline constexpr int kBaseUnitY = 15;

// a * b / c rounded half away from zero, as Windows scales dialog units.
constexpr int ScaleRounded(int a, int b, int c) {
    const long long product = 2LL * a * b;
    return static_cast<int>(product >= 0 ? (product + c) / (2 * c) : (product - c) / (2 * c));
}

constexpr PixelRect ToPixels(DialogUnits u) {
    return {ScaleRounded(u.x, kBaseUnitX, 4), ScaleRounded(u.y, kBaseUnitY, 8),
            ScaleRounded(u.cx, kBaseUnitX, 4), ScaleRounded(u.cy, kBaseUnitY, 8)};
}

// Template 102: the main window and its three items.
inline constexpr int IDD_TARNWICK_DIALOG = 102;
inline constexpr DialogUnits kMainWindow{0, 0, 234, 62};
inline constexpr char kMainWindowCaption[] = "tarnwick";

inline constexpr int IDC_PROGRESS = 1000;
inline constexpr DialogUnits kProgressItem{7, 25, 219, 10};

inline constexpr int IDC_STATUS = 1001;
inline constexpr DialogUnits kStatusItem{10, 11, 202, 8};
inline constexpr char kStatusItemText[] = "Static";

inline constexpr int IDC_BYTE_COUNT = 1002;
inline constexpr DialogUnits kByteCountItem{9, 41, 217, 8};
inline constexpr char kByteCountItemText[] = "/";

// Icon 128: one 128 by 128 image with an alpha channel, as PNG.
inline constexpr int IDR_MAINFRAME = 128;
extern const unsigned char kAppIconPng[];
extern const size_t kAppIconPngSize;

// The program's version, from the build.
extern const char kVersionText[];

}  // namespace res
