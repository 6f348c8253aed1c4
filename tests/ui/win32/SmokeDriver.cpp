// Drives a running vornak.exe as an operator would, from inside the same wine desktop:
// picks TCP, types the simulator's port, connects, waits until coils and inputs have
// been read, clicks coil 3 and waits for its answer. It then creates the file SILENCE,
// on which the caller makes the simulator fall silent for a while, and waits until the
// window has marked the board offline and connected again. It saves a picture of the
// window as a 24-bit BMP, opens the point timeline from the system menu, checks that it
// paints coil 3's trace and the silence as a hatched gap and that a hover names coil 3 as
// ON, saves its picture too, and closes the window. Exit 0 on success; each failure prints
// its step.
//
// Usage: vornak_smoke_driver.exe PORT SILENCE OUT.bmp TIMELINE.bmp
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialog/MainDlgIds.h"

namespace {

bool Fail(const char* step) {
    std::fprintf(stderr, "smoke: %s\n", step);
    return false;
}

// A control's text; GetWindowText would not ask a control of another process.
std::wstring Text(HWND control) {
    const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(
        SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

size_t Count(const std::wstring& text, const std::wstring& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Waits up to ms, letting the window work, until ready() holds.
template <typename Ready> bool WaitFor(DWORD ms, Ready ready) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50)) {
        if (ready())
            return true;
    }
    return ready();
}

// A window's pixels as 24-bit rows, bottom row first; false when they cannot be read.
bool Capture(HWND window, BITMAPINFOHEADER& info, std::vector<uint8_t>& pixels) {
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const HDC screen = GetWindowDC(window);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    info = BITMAPINFOHEADER{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (width * 3 + 3) & ~3;
    pixels.assign(static_cast<size_t>(stride) * height, 0);
    const bool got = GetDIBits(memory, bitmap, 0, height, pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return got;
}

// How many pixels of the window have exactly this colour.
size_t CountColour(HWND window, uint8_t red, uint8_t green, uint8_t blue) {
    BITMAPINFOHEADER info{};
    std::vector<uint8_t> pixels;
    if (!Capture(window, info, pixels))
        return 0;
    size_t n = 0;
    const size_t stride = (static_cast<size_t>(info.biWidth) * 3 + 3) & ~size_t(3);
    for (size_t row = 0; row < static_cast<size_t>(info.biHeight); ++row) {
        for (size_t x = 0; x < static_cast<size_t>(info.biWidth); ++x) {
            const uint8_t* p = &pixels[row * stride + x * 3]; // blue, green, red
            n += p[0] == blue && p[1] == green && p[2] == red;
        }
    }
    return n;
}

bool SaveBmp(HWND window, const char* path) {
    BITMAPINFOHEADER info{};
    std::vector<uint8_t> pixels;
    if (!Capture(window, info, pixels))
        return false;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr)
        return false;
    const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                         std::fwrite(&info, sizeof info, 1, out) == 1 &&
                         std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

// Opens the point timeline from the window's system menu and checks what it shows.
bool CheckTimeline(HWND window, const char* picture) {
    PostMessageW(window, WM_SYSCOMMAND, IDM_TIMELINE, 0);
    HWND timeline = nullptr, canvas = nullptr;
    if (!WaitFor(20000, [&] {
            timeline = FindWindowW(L"VornakTimeline", L"点位时间线");
            canvas = FindWindowExW(timeline, nullptr, L"VornakTimelineCanvas", nullptr);
            return timeline != nullptr && canvas != nullptr && IsWindowVisible(timeline);
        }))
        return Fail("the timeline did not open");
    SetForegroundWindow(timeline);
    Sleep(800);
    // Coil 3's lane: the axis row, then lanes of (height - 22) / 64 pixels.
    RECT client{};
    GetClientRect(canvas, &client);
    const int lane = std::max(6L, (client.bottom - 22) / 64);
    const int y = 20 + 3 * lane + lane / 2;
    // After the silence the coils are unknown until the poll has read them again.
    if (!WaitFor(10000, [&] {
            SendMessageW(canvas, WM_MOUSEMOVE, 0, MAKELPARAM(client.right - 3, y));
            return Text(GetDlgItem(timeline, 101)).rfind(L"线圈03  ON  ", 0) == 0;
        }))
        return Fail("the hover over coil 3 does not say ON");
    Sleep(300);
    if (CountColour(canvas, 80, 180, 255) < 1000 || CountColour(canvas, 110, 220, 110) < 1000 ||
        CountColour(canvas, 125, 125, 125) < 1000)
        return Fail("the timeline does not paint its lanes and the silent gap");
    return SaveBmp(timeline, picture) || Fail("could not save the timeline's picture");
}

bool Drive(const wchar_t* port, const wchar_t* silence, const char* picture,
           const char* timelinePicture) {
    HWND window = nullptr;
    // The dialog shows itself only once its start-up has run.
    if (!WaitFor(60000, [&] {
            window = FindWindowW(nullptr, L"Vornak V1.00");
            return window != nullptr && IsWindowVisible(window);
        }))
        return Fail("the window did not appear");
    auto item = [&](int id) { return GetDlgItem(window, id); };
    SendMessageW(item(IDC_USE_TCP), BM_CLICK, 0, 0);
    if (!IsWindowEnabled(item(IDC_TCP_CONNECT)))
        return Fail("choosing TCP did not enable its pane");
    SetWindowTextW(item(IDC_TCP_SERVER), L"127.0.0.1");
    SetWindowTextW(item(IDC_TCP_PORT), port);
    SendMessageW(item(IDC_TCP_CONNECT), BM_CLICK, 0, 0);
    // After a connect the window reads the coils and then the inputs: two answers.
    const HWND received = item(IDC_RECV_LOG);
    if (!WaitFor(20000, [&] { return Count(Text(received), L"接收:") >= 2; }))
        return Fail("no answers to the first reads");
    const size_t before = Count(Text(received), L"接收:");
    SendMessageW(item(IDC_COIL_BASE + 3), BM_CLICK, 0, 0);
    if (!WaitFor(20000, [&] {
            return Text(item(IDC_COIL_BASE + 3)).find(L"ON") != std::wstring::npos &&
                   Count(Text(received), L"接收:") > before;
        }))
        return Fail("the click on coil 3 was not answered");
    const HANDLE marker =
        CreateFileW(silence, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker == INVALID_HANDLE_VALUE)
        return Fail("could not ask for the silence");
    CloseHandle(marker);
    const HWND sent = item(IDC_SEND_LOG);
    if (!WaitFor(60000, [&] { return Text(sent).find(L"⚠") != std::wstring::npos; }))
        return Fail("the silent board was not marked offline");
    if (!WaitFor(60000, [&] { return Text(sent).find(L"✅") != std::wstring::npos; }))
        return Fail("the board that answered again was not marked connected");
    // Let the panes settle, then take the picture with the mouse away from the buttons.
    SetForegroundWindow(window);
    Sleep(500);
    if (!SaveBmp(window, picture))
        return Fail("could not save the picture");
    if (!CheckTimeline(window, timelinePicture))
        return false;
    PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitFor(10000, [&] { return !IsWindow(window); }) || Fail("the window did not close");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5)
        return Fail("usage: vornak_smoke_driver PORT SILENCE OUT.bmp TIMELINE.bmp") ? 0 : 2;
    char picture[MAX_PATH] = {}, timeline[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, argv[3], -1, picture, MAX_PATH, nullptr, nullptr);
    WideCharToMultiByte(CP_ACP, 0, argv[4], -1, timeline, MAX_PATH, nullptr, nullptr);
    return Drive(argv[1], argv[2], picture, timeline) ? 0 : 1;
}
