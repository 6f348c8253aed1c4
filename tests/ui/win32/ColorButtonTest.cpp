// The Win32 colour button's painting, into a memory bitmap (runs under wine without a
// display of its own).
#include <gtest/gtest.h>
#include <windows.h>

#include <utility>
#include <vector>

#include "ui/win32/ColorButton.h"

namespace {

constexpr int kWidth = 60;
constexpr int kHeight = 30;
constexpr COLORREF kWhite = RGB(255, 255, 255);

// Paints the button with itemState into a white bitmap and reads the pixels back.
class Painting {
public:
    Painting(const ColorButton& button, UINT itemState, int height = kHeight) : height(height) {
        memory = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof info.bmiHeader, kWidth, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(memory, bitmap);
        RECT all{0, 0, kWidth, height};
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
    // Whether row y inside the border has a pixel other than background.
    bool RowHasInk(int y, COLORREF background) const {
        for (int x = 2; x < kWidth - 2; ++x)
            if (At(x, y) != background)
                return true;
        return false;
    }
    int height;
    // The leftmost column inside the border with a pixel other than background (the
    // caption's first ink), or -1.
    int LeftmostInk(COLORREF background) const {
        for (int x = 2; x < kWidth - 2; ++x)
            for (int y = 2; y < height - 2; ++y)
                if (At(x, y) != background)
                    return x;
        return -1;
    }

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
        ASSERT_TRUE(button.Create(parent, 2203, rect, L"I"));
        button.SetNormalColors(RGB(255, 0, 0), RGB(0, 0, 0));
    }
    void TearDown() override { DestroyWindow(parent); }

    HWND parent = nullptr;
    ColorButton button;
};

TEST_F(ColorButtonPaint, EachLookHasItsColoursAndTheBorderIsGrey) {
    button.SetPressedColors(RGB(0, 0, 255), RGB(255, 255, 255));
    const struct {
        UINT state;
        COLORREF background;
    } cases[] = {
        {0, RGB(255, 0, 0)},
        {ODS_SELECTED, RGB(0, 0, 255)},
        {ODS_DISABLED | ODS_SELECTED, RGB(220, 220, 220)}, // disabled wins over pressed
    };
    for (const auto& c : cases) {
        const Painting painting(button, c.state);
        EXPECT_EQ(painting.At(5, 5), c.background) << c.state;
        EXPECT_EQ(painting.At(0, 0), RGB(128, 128, 128)) << c.state; // square corners
    }
}

TEST_F(ColorButtonPaint, RoundedCornersAndAPressedCaptionOnePixelLower) {
    button.SetCornerRadius(3);
    button.SetPressedColors(RGB(255, 0, 0), RGB(0, 0, 0));
    const Painting normal(button, 0);
    const Painting pressed(button, ODS_SELECTED);
    EXPECT_EQ(normal.At(0, 0), kWhite); // outside the rounded corner
    EXPECT_EQ(normal.At(5, 5), RGB(255, 0, 0));
    const int left = normal.LeftmostInk(RGB(255, 0, 0));
    ASSERT_GT(left, 0);
    EXPECT_EQ(pressed.LeftmostInk(RGB(255, 0, 0)), left + 1);
}

// A caption with a line feed ("0\n---", the look before connecting) shows as two lines
// centred together, not as one line with a box where the line feed is.
TEST_F(ColorButtonPaint, ACaptionOfTwoLinesShowsAsTwoCentredLines) {
    SetWindowTextW(button.Window(), L"0\n---");
    const int height = 64;
    const Painting painting(button, 0, height);
    const COLORREF red = RGB(255, 0, 0);
    std::vector<std::pair<int, int>> bands; // rows with ink, first and last
    for (int y = 2; y < height - 2; ++y) {
        if (!painting.RowHasInk(y, red))
            continue;
        if (!bands.empty() && bands.back().second == y - 1)
            bands.back().second = y;
        else
            bands.push_back({y, y});
    }
    ASSERT_EQ(bands.size(), 2u);
    const int middle = (bands.front().first + bands.back().second) / 2;
    EXPECT_NEAR(middle, height / 2, 4);
}

} // namespace
