// The Win32 coil and input buttons as painted into a memory bitmap (under wine, without a
// display of its own), set up as the window sets them: the look the window asked for stays
// under the mouse and while pressed, a disabled button is grey, the border is grey, and the
// caption "5\n---" shows as two lines centred together.
#include <gtest/gtest.h>
#include <windows.h>

#include <utility>
#include <vector>

#include "ui/win32/ColorButton.h"

namespace {

constexpr int kWidth = 60;
constexpr int kHeight = 64;
constexpr COLORREF kUnknownBk = RGB(241, 241, 0);
constexpr COLORREF kGrey = RGB(128, 128, 128);

// Paints the button with itemState into a white bitmap and reads the pixels back.
class Painting {
public:
    Painting(const ColorButton& button, UINT itemState) {
        memory = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof info.bmiHeader, kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(memory, bitmap);
        RECT all{0, 0, kWidth, kHeight};
        FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.itemState = itemState;
        item.hwndItem = button.Window();
        item.hDC = memory;
        item.rcItem = all;
        button.DrawItem(item);
    }
    ~Painting() {
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }
    COLORREF At(int x, int y) const { return GetPixel(memory, x, y); }

private:
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
};

class ColorButtonPaint : public ::testing::Test {
protected:
    void SetUp() override {
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
        const RECT rect{0, 0, kWidth, kHeight};
        ASSERT_TRUE(button.Create(parent, 2205, rect, L"5\n---"));
        button.SetCornerRadius(3);
        button.SetNormalColors(kUnknownBk, kGrey);
        button.SetHoverColors(kUnknownBk, kGrey);
        button.SetPressedColors(kUnknownBk, kGrey);
    }
    void TearDown() override { DestroyWindow(parent); }

    HWND parent = nullptr;
    ColorButton button;
};

TEST_F(ColorButtonPaint, EachLookKeepsItsColoursAndTheCaptionItsTwoLines) {
    const struct {
        bool hover;
        UINT state;
        COLORREF background;
    } cases[] = {
        {false, 0, kUnknownBk},
        {true, 0, kUnknownBk},
        {true, ODS_SELECTED, kUnknownBk},
        {true, ODS_DISABLED, RGB(220, 220, 220)},
    };
    for (const auto& c : cases) {
        if (c.hover)
            SendMessageW(button.Window(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        const Painting painting(button, c.state);
        EXPECT_EQ(painting.At(5, 5), c.background) << c.state;
        EXPECT_EQ(painting.At(0, kHeight / 2), kGrey) << c.state;
        EXPECT_EQ(painting.At(0, 0), RGB(255, 255, 255)) << c.state; // the rounded corner
        bool textSeen = false;
        std::vector<std::pair<int, int>> bands; // rows with ink, first and last
        for (int y = 2; y < kHeight - 2; ++y) {
            bool ink = false;
            for (int x = 2; x < kWidth - 2; ++x) {
                textSeen = textSeen || painting.At(x, y) == kGrey;
                ink = ink || painting.At(x, y) != c.background;
            }
            if (ink && !bands.empty() && bands.back().second == y - 1)
                bands.back().second = y;
            else if (ink)
                bands.push_back({y, y});
        }
        EXPECT_TRUE(textSeen) << c.state;
        ASSERT_EQ(bands.size(), 2u) << c.state;
        EXPECT_NEAR((bands.front().first + bands.back().second) / 2, kHeight / 2, 4);
    }
}

} // namespace
