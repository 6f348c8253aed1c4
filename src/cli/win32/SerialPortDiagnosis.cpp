#include "cli/SerialPortDiagnosis.h"

#include <windows.h>

#include "comm/win32/WideText.h"

namespace {

// The system's own words for an error code, without the trailing line break.
std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    return Utf8FromWide(message) + " (error " + std::to_string(code) + ")";
}

} // namespace

std::string DiagnoseSerialPort(const std::string& path) {
    // COM10 and above open only through the device namespace; COM1 works either way.
    const std::string device = path.rfind("\\\\.\\", 0) == 0 ? path : "\\\\.\\" + path;
    const HANDLE port = CreateFileW(WideFromUtf8(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return "serial port " + path + " was busy or does not accept these line settings";
    }
    const DWORD error = GetLastError();
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "serial port " + path +
               " does not exist; check its name in Device Manager (Ports (COM & LPT)) and that "
               "the adapter is plugged in";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        // Windows opens a COM port for one program at a time and does not say which.
        return "serial port " + path + " is busy: another program has it open";
    default:
        return "cannot open serial port " + path + ": " + SystemMessage(error);
    }
}
