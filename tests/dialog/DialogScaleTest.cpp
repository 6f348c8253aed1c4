// The rule both faces size the main window by: on the screens and DPIs the window meets,
// the window with its frame lies inside the work area unless the text floor forbids it.
#include <gtest/gtest.h>

#include "dialog/DialogScale.h"
#include "dialog/MainDlgTemplate.h"

namespace {

TEST(DialogScale, TheMainWindowFitsTheWorkAreaAboveTheTextFloor) {
    const struct {
        int32_t width, height, dpi;
        bool shrunk; // whether the window had to shrink at all
    } cases[] = {
        {2560, 1400, 96, false}, {1920, 1040, 96, false}, {1366, 728, 96, true},
        {1366, 728, 120, true},  {1366, 728, 144, true},  {1920, 1040, 120, true},
        {1920, 1040, 144, true}, {1280, 680, 96, true},   {3840, 2120, 192, false},
    };
    for (const auto& c : cases) {
        const DialogScale scale = DialogScale::Fit(
            MainDlgTemplate::kWidth, MainDlgTemplate::kHeight, c.width, c.height, c.dpi);
        const int32_t frameWidth = DialogScale::kFrameWidth * c.dpi / 96;
        const int32_t frameHeight = DialogScale::kFrameHeight * c.dpi / 96;
        EXPECT_LE(scale.ToPixelsX(MainDlgTemplate::kWidth) + frameWidth, c.width) << c.width;
        EXPECT_LE(scale.ToPixelsY(MainDlgTemplate::kHeight) + frameHeight, c.height) << c.height;
        EXPECT_GE(scale.EmPixels(), DialogScale::kMinTextPixels) << c.width << " " << c.dpi;
        EXPECT_EQ(scale.ScaleX() < 1.0 || scale.ScaleY() < 1.0, c.shrunk)
            << c.width << " " << c.dpi;
        // Shrunk no more than needed: one pixel more of height or width would not fit.
        if (c.shrunk && scale.ScaleY() < 1.0) {
            EXPECT_GT(scale.ToPixelsY(MainDlgTemplate::kHeight) + frameHeight + 8, c.height);
        }
    }
    // A screen too small for legible text keeps the text floor and overflows.
    const DialogScale tiny = DialogScale::Fit(617, 424, 640, 360, 144);
    EXPECT_NEAR(tiny.EmPixels(), DialogScale::kMinTextPixels, 0.01);
}

} // namespace
