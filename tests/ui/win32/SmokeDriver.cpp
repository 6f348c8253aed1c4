// Drives a running vornak.exe as an operator would, from inside the same wine desktop: its
// fit, again after WM_DPICHANGED (wine never sends it); TCP to the simulator's PORT, a click
// on coil 3 answered; the file SILENCE, on which the caller silences the simulator, and
// the window marking the board offline and connected again; an input button as painted under
// the pointer, pressed, and disabled under 0x55; the point timeline (a hover over
// coil 3 says ON) and each tool from the system menu (about, re-laid on WM_DPICHANGED; link
// parameters; board search; a self-test that passes; its loopback box disabled under 0x55
// with its reason in the tip). Pictures of the window and each dialog go to FOLDER as 24-bit
// BMPs. Last the window restarts with the typed port remembered ("恢复默认设置" keeps it on
// Cancel, resets it on OK) and a session log file written. "fit VORNAK REPORT" checks a fresh
// window lies centred in the work area (the report in a file); "shown" waits for a window
// started otherwise (a shortcut) and closes it. Exit 0 on success; each failure prints its step.
//
// Usage: vornak_smoke_driver.exe PORT SILENCE FOLDER VORNAK | fit VORNAK REPORT | shown
#include <windows.h>

#include <commctrl.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dialog/MainDlgIds.h"
#include "dialog/SelfTestSession.h"
#include "dialog/ToolDialogs.h"
#include "dialog/WindowSettings.h"
#include "dialog/WindowTools.h"

namespace {

bool Fail(const char* step) {
    std::printf("smoke: %s\n", step);
    std::fflush(stdout);
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

// Waits up to ms, letting the window work, until ready() holds.
template <typename Ready> bool WaitFor(DWORD ms, Ready ready) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50)) {
        if (ready())
            return true;
    }
    return ready();
}

RECT WindowRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

// A window's pixels as the screen shows them, 24 bits a pixel, the bottom row first.
struct Pixels {
    BITMAPINFOHEADER info{sizeof info, 0, 0, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint8_t> bytes; // empty when the window could not be read
    COLORREF At(int x, int y) const {
        const uint8_t* p =
            &bytes[static_cast<size_t>((info.biWidth * 3 + 3) & ~3) * (info.biHeight - 1 - y) +
                   3 * x];
        return RGB(p[2], p[1], p[0]);
    }
};

Pixels Grab(HWND window) {
    const RECT r = WindowRect(window);
    Pixels grabbed;
    const int width = grabbed.info.biWidth = r.right - r.left;
    const int height = grabbed.info.biHeight = r.bottom - r.top;
    const HDC screen = GetWindowDC(window);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    grabbed.bytes.resize(static_cast<size_t>((width * 3 + 3) & ~3) * height);
    if (GetDIBits(memory, bitmap, 0, height, grabbed.bytes.data(),
                  reinterpret_cast<BITMAPINFO*>(&grabbed.info), DIB_RGB_COLORS) != height)
        grabbed.bytes.clear();
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return grabbed;
}

// Saves a window's pixels as a 24-bit BMP; false, after saying so, when it cannot.
bool Picture(HWND window, const std::wstring& path) {
    const Pixels pixels = Grab(window);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof pixels.info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.bytes.size());
    FILE* out = pixels.bytes.empty() ? nullptr : _wfopen(path.c_str(), L"wb");
    const bool written = out != nullptr && std::fwrite(&file, sizeof file, 1, out) == 1 &&
                         std::fwrite(&pixels.info, sizeof pixels.info, 1, out) == 1 &&
                         std::fwrite(pixels.bytes.data(), pixels.bytes.size(), 1, out) == 1;
    return ((out == nullptr || std::fclose(out) == 0) && written) ||
           Fail("could not save a picture");
}

// Button `id` of the window as the screen shows it: the background at (5, 5) in a grey border
// with rounded corners, and a caption of `lines` lines in the text colour, centred as a block.
// (Wine reads another process's child window as black: the button is cut from its window.)
bool Painted(HWND window, int id, COLORREF background, COLORREF text, size_t lines,
             const char* look) {
    Sleep(500); // the window repaints what changed
    const Pixels p = Grab(window);
    if (p.bytes.empty())
        return Fail("could not read the window's pixels");
    const RECT outer = WindowRect(window), button = WindowRect(GetDlgItem(window, id));
    const int width = button.right - button.left, height = button.bottom - button.top;
    auto at = [&](int x, int y) {
        return p.At(button.left - outer.left + x, button.top - outer.top + y);
    };
    bool textSeen = false;
    std::vector<std::pair<int, int>> bands; // rows with ink, first and last
    for (int y = 2; y < height - 2; ++y) {
        bool ink = false;
        for (int x = 2; x < width - 2; ++x) {
            textSeen = textSeen || at(x, y) == text;
            ink = ink || at(x, y) != background;
        }
        if (ink && !bands.empty() && bands.back().second == y - 1)
            bands.back().second = y;
        else if (ink)
            bands.push_back({y, y});
    }
    const COLORREF grey = RGB(128, 128, 128);
    if (textSeen && bands.size() == lines && at(5, 5) == background && at(0, height / 2) == grey &&
        at(0, 0) != grey &&
        std::abs((bands.front().first + bands.back().second) / 2 - height / 2) <= 4)
        return true;
    std::printf("smoke: %06lx in a %06lx border, %zu lines of text\n", at(5, 5), at(0, height / 2),
                bands.size());
    return Fail(look);
}

HWND WaitForWindow(const wchar_t* title, DWORD ms) {
    HWND window = nullptr;
    // A dialog shows itself only once its start-up has run.
    WaitFor(ms, [&] {
        window = FindWindowW(L"#32770", title);
        return window != nullptr && IsWindowVisible(window);
    });
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

bool Closed(HWND window) {
    return WaitFor(10000, [&] { return !IsWindow(window); });
}

// Sends a dialog a command (OK, Cancel) and waits until it has closed.
bool Dismiss(HWND dialog, int command, const char* failure) {
    PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(command), 0);
    return Closed(dialog) || Fail(failure);
}

// Opens a tool from the main window's system menu; the tool's dialog, or nullptr.
HWND OpenTool(HWND window, int32_t command, const wchar_t* title) {
    PostMessageW(window, WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
    return WaitForWindow(title, 20000);
}

void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// Sends WM_DPICHANGED as Windows does when a window moves to a monitor of that DPI (wine
// never does). Its suggested rectangle must be in the window's own process, so it is
// written there first.
bool SendDpiChanged(HWND window, int dpi, const RECT& suggested) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, id);
    if (process == nullptr)
        return false;
    void* remote = VirtualAllocEx(process, nullptr, sizeof suggested, MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    DWORD_PTR result = 0;
    const bool sent =
        remote != nullptr &&
        WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr) &&
        SendMessageTimeoutW(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                            reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, 20000, &result) != 0;
    if (remote != nullptr)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return sent;
}

// The work area of the window's monitor.
RECT WorkArea(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

bool Inside(const RECT& rect, HWND window) {
    const RECT work = WorkArea(window);
    return rect.left >= work.left && rect.top >= work.top && rect.right <= work.right &&
           rect.bottom <= work.bottom;
}

// An open tool dialog on a monitor of 1.5 times the DPI grows with its font, stays inside
// the work area, and comes back to its size on the first monitor's DPI.
bool RelaysOnDpiChange(HWND dialog) {
    const int dpi = ScreenDpi();
    const RECT before = WindowRect(dialog);
    if (!SendDpiChanged(dialog, dpi * 3 / 2, before))
        return Fail("WM_DPICHANGED did not reach the tool dialog");
    const RECT larger = WindowRect(dialog);
    std::printf("tool dialog %ldx%ld at %d dpi, %ldx%ld at %d dpi\n", before.right - before.left,
                before.bottom - before.top, dpi, larger.right - larger.left,
                larger.bottom - larger.top, dpi * 3 / 2);
    const double grown = static_cast<double>(larger.right - larger.left) /
                         static_cast<double>(before.right - before.left);
    if (grown < 1.3 || !Inside(larger, dialog))
        return Fail("the tool dialog did not re-lay itself for the new DPI");
    SendDpiChanged(dialog, dpi, larger);
    const RECT back = WindowRect(dialog);
    return (std::labs(back.right - back.left - before.right + before.left) <= 2 &&
            std::labs(back.bottom - back.top - before.bottom + before.top) <= 2) ||
           Fail("the tool dialog did not come back to its size at the first DPI");
}

std::wstring Wide(const char* utf8) {
    std::wstring wide(std::strlen(utf8) + 1, L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), static_cast<int>(wide.size())) - 1));
    return wide;
}

// Moves the pointer onto control's centre as a mouse does: it arrives from beside it.
void PointAt(HWND control) {
    const RECT r = WindowRect(control);
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    SetCursorPos(centre.x - 5, centre.y);
    for (int step : {-3, 0}) {
        INPUT move{};
        move.type = INPUT_MOUSE;
        move.mi.dx = (centre.x + step) * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
        move.mi.dy = centre.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
        move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &move, sizeof move);
        Sleep(50);
    }
}

// Rests the pointer on control and returns the text of the tip that shows, "" for none.
std::wstring TipOver(HWND dialog, HWND control) {
    std::wstring text;
    // The pointer arrives, then rests; again each second until a tip shows.
    for (int attempt = 0; attempt < 10 && text.empty(); ++attempt) {
        PointAt(control);
        WaitFor(1000, [&] {
            for (HWND tip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
                 tip != nullptr; tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) {
                if (GetWindow(tip, GW_OWNER) == dialog && IsWindowVisible(tip))
                    text = Text(tip);
            }
            return !text.empty();
        });
    }
    return text;
}

// Under 0x55, which reads no inputs, the self-test's loopback box is disabled and its tip
// says why.
bool NoLoopbackUnder55(HWND window) {
    SendMessageW(GetDlgItem(window, IDC_PROTO_55), BM_CLICK, 0, 0);
    if (!Painted(window, IDC_INPUT_BASE + 5, RGB(220, 220, 220), RGB(128, 128, 128), 2,
                 "under 0x55 input 5 is not painted disabled"))
        return false;
    SendMessageW(GetDlgItem(window, IDC_TCP_CONNECT), BM_CLICK, 0, 0);
    if (!WaitFor(20000, [&] { return Text(GetDlgItem(window, IDC_TCP_STATUS)) == L"已连接"; }))
        return Fail("the window did not connect under 0x55");
    const HWND test = OpenTool(window, WindowTools::IDM_SELF_TEST, L"板卡自检");
    if (test == nullptr)
        return Fail("the self-test did not show under 0x55");
    const HWND loopback = GetDlgItem(test, ToolDialogs::IDC_SELFTEST_LOOPBACK);
    const std::wstring tip = TipOver(test, loopback);
    std::wprintf(L"smoke: the loopback box's tip under 0x55: \"%ls\"\n", tip.c_str());
    const bool told = !IsWindowEnabled(loopback) &&
                      SendMessageW(loopback, BM_GETCHECK, 0, 0) == BST_UNCHECKED &&
                      tip == Wide(SelfTestSession::kNoLoopbackTip);
    if (!Dismiss(test, IDCANCEL, "Esc did not close the self-test"))
        return false;
    SendMessageW(GetDlgItem(window, IDC_TCP_DISCONNECT), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(window, IDC_PROTO_RTU), BM_CLICK, 0, 0);
    return told || Fail("under 0x55 the loopback box was not disabled with its reason");
}

// "恢复默认设置" asks first: Cancel keeps the fields, OK gives every field its default.
bool RestoreDefaultsAsks(HWND window) {
    const HWND port = GetDlgItem(window, IDC_TCP_PORT);
    const std::wstring typed = Text(port);
    const std::wstring standard = Wide(WindowSettings{}.tcpPort.c_str());
    if (typed == standard)
        return Fail("the typed port is the default one: nothing to restore");
    for (const int answer : {IDCANCEL, IDOK}) {
        const HWND ask = OpenTool(window, WindowTools::IDM_RESTORE_DEFAULTS, L"恢复默认设置");
        if (ask == nullptr)
            return Fail("恢复默认设置 did not ask first");
        if (!Dismiss(ask, answer, "the confirmation did not close"))
            return false;
        const std::wstring expected = answer == IDOK ? standard : typed;
        if (!WaitFor(5000, [&] { return Text(port) == expected; }))
            return Fail(answer == IDOK ? "OK did not restore the default port"
                                       : "Cancel did not keep the typed port");
    }
    return true;
}

bool Tools(HWND window, const std::wstring& folder) {
    const HWND about = OpenTool(window, IDM_ABOUTBOX, L"关于 Vornak");
    if (about == nullptr)
        return Fail("the about box did not show");
    if (!Picture(about, folder + L"\\about.bmp") || !RelaysOnDpiChange(about) ||
        !Dismiss(about, IDOK, "OK did not close the about box"))
        return false;

    const HWND link = OpenTool(window, WindowTools::IDM_LINK_PARAMETERS, L"通信参数");
    if (link == nullptr)
        return Fail("the link parameter form did not show");
    SetWindowTextW(GetDlgItem(link, ToolDialogs::IDC_LINK_RETRY_COUNT), L"0");
    Press(link, ToolDialogs::IDC_OK);
    const HWND problem = GetDlgItem(link, ToolDialogs::IDC_LINK_PROBLEM);
    if (!WaitFor(5000, [&] { return !Text(problem).empty(); }) || !IsWindow(link))
        return Fail("the link parameter form took a retry count of 0");
    if (!Picture(link, folder + L"\\link-parameters.bmp"))
        return false;
    SetWindowTextW(GetDlgItem(link, ToolDialogs::IDC_LINK_RETRY_COUNT), L"3");
    Press(link, ToolDialogs::IDC_OK);
    if (!Closed(link))
        return Fail("the link parameter form did not take good values");

    // While connected the search refuses in a message box that says why.
    const HWND refusal = OpenTool(window, WindowTools::IDM_FIND_BOARD, L"查找设备");
    if (refusal == nullptr ||
        Text(GetDlgItem(refusal, 0xFFFF)).find(L"请先断开连接") == std::wstring::npos)
        return Fail("the board search did not say why it cannot start while connected");
    if (!Dismiss(refusal, IDOK, "OK did not close the refusal"))
        return false;

    const HWND test = OpenTool(window, WindowTools::IDM_SELF_TEST, L"板卡自检");
    if (test == nullptr)
        return Fail("the self-test did not show");
    Press(test, ToolDialogs::IDC_SELFTEST_START);
    const HWND verdict = GetDlgItem(test, ToolDialogs::IDC_SELFTEST_VERDICT);
    if (!WaitFor(120000, [&] {
            return IsWindowEnabled(GetDlgItem(test, ToolDialogs::IDC_SELFTEST_START)) &&
                   !Text(verdict).empty() && Text(verdict) != L"自检中...";
        }))
        return Fail("the self-test did not end");
    if (Text(verdict).rfind(L"自检通过", 0) != 0) {
        std::wprintf(L"smoke: verdict %ls\n", Text(verdict).c_str());
        return Fail("the self-test against the simulator did not pass");
    }
    if (!Picture(test, folder + L"\\selftest.bmp") ||
        !Dismiss(test, IDCANCEL, "Esc did not close the finished self-test"))
        return false;

    // Disconnected, the search runs and says what it asks; Esc cancels it, then closes it.
    SendMessageW(GetDlgItem(window, IDC_TCP_DISCONNECT), BM_CLICK, 0, 0);
    const HWND search = OpenTool(window, WindowTools::IDM_FIND_BOARD, L"查找设备");
    if (search == nullptr)
        return Fail("the board search did not show");
    Press(search, ToolDialogs::IDC_SEARCH_START);
    const HWND status = GetDlgItem(search, ToolDialogs::IDC_SEARCH_STATUS);
    if (!WaitFor(20000, [&] { return Text(status).rfind(L"正在询问: ", 0) == 0; }))
        return Fail("the running board search did not say what it asks");
    if (!Picture(search, folder + L"\\board-search.bmp"))
        return false;
    PostMessageW(search, WM_COMMAND, IDCANCEL, 0);
    if (!WaitFor(20000, [&] { return Text(status).rfind(L"已取消", 0) == 0; }))
        return Fail("Esc did not cancel the board search");
    return Dismiss(search, IDCANCEL, "Esc did not close the board search") &&
           NoLoopbackUnder55(window);
}

// The window's rectangle against the work area of its monitor.
bool Fits(HWND window) {
    const RECT rect = WindowRect(window), work = WorkArea(window);
    std::printf("window %ldx%ld at (%ld,%ld), work area %ldx%ld at (%ld,%ld), %d dpi\n",
                rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top,
                work.right - work.left, work.bottom - work.top, work.left, work.top, ScreenDpi());
    const bool inside = Inside(rect, window);
    // Centred: the free room on either side differs by rounding at most.
    const long dx = (rect.left - work.left) - (work.right - rect.right);
    const long dy = (rect.top - work.top) - (work.bottom - rect.bottom);
    return (inside || Fail("the window is not inside the work area")) &&
           ((std::labs(dx) <= 2 && std::labs(dy) <= 2) || Fail("the window is not centred"));
}

// The height of a combo box's field, which follows the font the window gives it.
LRESULT FieldHeight(HWND window) {
    return SendMessageW(GetDlgItem(window, IDC_PORT_COMBO), CB_GETITEMHEIGHT,
                        static_cast<WPARAM>(-1), 0);
}

// Moved to a monitor of another DPI, the window fits that monitor's work area again, in a
// font of another size; back on the first monitor's DPI it is as it was.
bool RefitsOnDpiChange(HWND window, int newDpi) {
    const int dpi = ScreenDpi();
    const RECT before = WindowRect(window);
    const LRESULT field = FieldHeight(window);
    if (!SendDpiChanged(window, newDpi, before))
        return Fail("WM_DPICHANGED did not reach the window");
    const LRESULT changed = FieldHeight(window);
    std::printf("at %d dpi: field %ld px; at %d dpi: ", dpi, static_cast<long>(field), newDpi);
    if (!Fits(window))
        return false;
    if ((newDpi > dpi) != (changed > field) || changed == field)
        return Fail("the window's font did not follow the new DPI");
    SendDpiChanged(window, dpi, WindowRect(window));
    const RECT back = WindowRect(window);
    return (FieldHeight(window) == field && back.right - back.left == before.right - before.left &&
            back.bottom - back.top == before.bottom - before.top) ||
           Fail("the window did not come back to its fit at the first DPI");
}

// Starts the window, checks it and closes it; false when it did not show or the check failed.
template <typename Check> bool InNewWindow(const std::wstring& program, Check check) {
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return Fail("could not start the window");
    CloseHandle(process.hThread);
    const HWND window = WaitForWindow(L"Vornak V1.00", 60000);
    const bool checked = window != nullptr ? check(window) : Fail("the window did not appear");
    if (window != nullptr)
        PostMessageW(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    return checked;
}

// Whether today's session log folder holds a file.
bool SessionLogWritten() {
    PWSTR base = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &base)))
        folder = std::wstring(base) + L"\\Vornak\\logs";
    CoTaskMemFree(base);
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"\\*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

// Opens the point timeline from the window's system menu and checks what it shows.
bool Timeline(HWND window, const std::wstring& folder) {
    PostMessageW(window, WM_SYSCOMMAND, IDM_TIMELINE, 0);
    HWND timeline = nullptr, canvas = nullptr;
    if (!WaitFor(20000, [&] {
            timeline = FindWindowW(L"VornakTimeline", L"点位时间线");
            canvas = FindWindowExW(timeline, nullptr, L"VornakTimelineCanvas", nullptr);
            return canvas != nullptr && IsWindowVisible(timeline);
        }))
        return Fail("the timeline did not open");
    SetForegroundWindow(timeline);
    // Coil 3's lane: below the axis row, lanes of (height - 22) / 64 pixels. After the
    // silence the coils are unknown until the poll has read them again.
    RECT client{};
    GetClientRect(canvas, &client);
    const LONG lane = std::max(6L, (client.bottom - 22) / 64);
    if (!WaitFor(10000, [&] {
            SendMessageW(canvas, WM_MOUSEMOVE, 0,
                         MAKELPARAM(client.right - 3, 20 + 3 * lane + lane / 2));
            return Text(GetDlgItem(timeline, 101)).rfind(L"线圈03  ON  ", 0) == 0;
        }))
        return Fail("the hover over coil 3 does not say ON");
    // Above the main window for the picture: this process cannot make it the foreground.
    SetWindowPos(timeline, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    Sleep(500);
    const bool saved = Picture(timeline, folder + L"\\timeline.bmp");
    ShowWindow(timeline, SW_HIDE);
    return saved;
}

bool Drive(const wchar_t* port, const wchar_t* silence, const std::wstring& folder,
           const std::wstring& program) {
    const HWND window = WaitForWindow(L"Vornak V1.00", 60000);
    if (window == nullptr)
        return Fail("the window did not appear");
    if (!Fits(window) || !RefitsOnDpiChange(window, ScreenDpi() * 3 / 2))
        return false;
    auto item = [&](int id) { return GetDlgItem(window, id); };
    SendMessageW(item(IDC_USE_TCP), BM_CLICK, 0, 0);
    SetWindowTextW(item(IDC_TCP_SERVER), L"127.0.0.1");
    SetWindowTextW(item(IDC_TCP_PORT), port);
    SendMessageW(item(IDC_TCP_CONNECT), BM_CLICK, 0, 0);
    if (!WaitFor(20000, [&] { return Text(item(IDC_TCP_STATUS)) == L"已连接"; }))
        return Fail("the window did not connect");
    // The board's answer, read back, turns the button ON.
    SendMessageW(item(IDC_COIL_BASE + 3), BM_CLICK, 0, 0);
    if (!WaitFor(20000,
                 [&] { return Text(item(IDC_COIL_BASE + 3)).find(L"ON") != std::wstring::npos; }))
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
    if (!Picture(window, folder + L"\\window.bmp"))
        return false;
    // Input 5, OFF, keeps its look under the pointer and while pressed.
    const HWND input = item(IDC_INPUT_BASE + 5);
    PointAt(input);
    const bool hover =
        Painted(window, IDC_INPUT_BASE + 5, RGB(240, 0, 0), 0, 1, "input 5 under the pointer");
    SendMessageW(input, BM_SETSTATE, TRUE, 0);
    const bool pressed =
        hover && Painted(window, IDC_INPUT_BASE + 5, RGB(240, 0, 0), 0, 1, "input 5 pressed");
    SendMessageW(input, BM_SETSTATE, FALSE, 0);
    SetCursorPos(0, 0);
    if (!pressed || !Timeline(window, folder) || !Tools(window, folder))
        return false;
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (!Closed(window))
        return Fail("the window did not close");

    // Started again, the window shows what it showed when it closed.
    return InNewWindow(program,
                       [&](HWND again) {
                           return (Text(GetDlgItem(again, IDC_TCP_PORT)) == port ||
                                   Fail("the typed port was not remembered")) &&
                                  RestoreDefaultsAsks(again);
                       }) &&
           (SessionLogWritten() || Fail("no session log file was written"));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wstring(argv[1]) == L"fit") {
        // The report goes to a file: this run's own output may have nowhere to go.
        if (_wfreopen(argv[3], L"w", stdout) == nullptr)
            return 2;
        const bool fits = InNewWindow(argv[2], Fits);
        std::printf(fits ? "fit: ok\n" : "fit: failed\n");
        return fits ? 0 : 1;
    }
    if (argc == 2 && std::wstring(argv[1]) == L"shown") {
        const HWND window = WaitForWindow(L"Vornak V1.00", 60000);
        if (window != nullptr)
            PostMessageW(window, WM_CLOSE, 0, 0);
        return window != nullptr && Closed(window) ? 0 : 1;
    }
    if (argc != 5) {
        std::printf("usage: vornak_smoke_driver PORT SILENCE FOLDER VORNAK | fit VORNAK REPORT | "
                    "shown\n");
        return 2;
    }
    return Drive(argv[1], argv[2], argv[3], argv[4]) ? 0 : 1;
}
