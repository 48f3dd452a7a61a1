#include "res/Resources.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Resources, TemplateScalesToTheWindowsPixelSize) {
    constexpr res::PixelRect window = res::ToPixels(res::kMainWindow);
    EXPECT_EQ(window.w, 410);
    EXPECT_EQ(window.h, 116);
    constexpr res::PixelRect bar = res::ToPixels(res::kProgressItem);
    EXPECT_EQ(bar.x, 12);
    EXPECT_EQ(bar.y, 47);
    EXPECT_EQ(bar.w, 383);
    EXPECT_EQ(bar.h, 19);
    // Every item lies inside the window.
    for (const res::DialogUnits& item : {res::kProgressItem, res::kStatusItem, res::kByteCountItem}) {
        const res::PixelRect r = res::ToPixels(item);
        EXPECT_GE(r.x, 0);
        EXPECT_LE(r.x + r.w, window.w);
        EXPECT_LE(r.y + r.h, window.h);
    }
}

TEST(Resources, ScalingRoundsHalfAwayFromZero) {
    EXPECT_EQ(res::ScaleRounded(234, 7, 4), 410);  // 409.5
    EXPECT_EQ(res::ScaleRounded(62, 15, 8), 116);   // 116.25
    EXPECT_EQ(res::ScaleRounded(-234, 7, 4), -410);
}

TEST(Resources, IconIsA128PixelPngWithAlpha) {
    ASSERT_GT(res::kAppIconPngSize, 33u);
    EXPECT_EQ(std::memcmp(res::kAppIconPng, "\x89PNG\r\n\x1a\n", 8), 0);
    const unsigned char* ihdr = res::kAppIconPng + 16;
    const auto be32 = [](const unsigned char* p) { return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; };
    EXPECT_EQ(be32(ihdr), 128);
    EXPECT_EQ(be32(ihdr + 4), 128);
    EXPECT_EQ(ihdr[9], 6) << "colour type RGBA";
}

TEST(Resources, VersionComesFromTheBuild) { EXPECT_STREQ(res::kVersionText, "1.0.0.1"); }
