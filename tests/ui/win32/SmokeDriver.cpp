// Drives a running vornak.exe as an operator would, from inside the same wine desktop:
// picks TCP, types the simulator's port, connects, waits until coils and inputs have
// been read, clicks coil 3 and waits for its answer. It then creates the file SILENCE,
// on which the caller makes the simulator fall silent for a while, and waits until the
// window has marked the board offline and connected again. Last it saves a picture of the
// window as a 24-bit BMP and closes the window. Exit 0 on success; each failure prints
// its step.
//
// Usage: vornak_smoke_driver.exe PORT SILENCE OUT.bmp
#include <windows.h>

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

bool SaveBmp(HWND window, const char* path) {
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

    BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height);
    const bool got = GetDIBits(memory, bitmap, 0, height, pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    if (!got)
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

bool Drive(const wchar_t* port, const wchar_t* silence, const char* picture) {
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
    PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitFor(10000, [&] { return !IsWindow(window); }) || Fail("the window did not close");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4)
        return Fail("usage: vornak_smoke_driver PORT SILENCE OUT.bmp") ? 0 : 2;
    char picture[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, argv[3], -1, picture, MAX_PATH, nullptr, nullptr);
    return Drive(argv[1], argv[2], picture) ? 0 : 1;
}
