// The COM ports Windows lists under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, each kept only
// when it opens exclusively right now.
#include "comm/EnumerateSerialPorts.h"

#include <algorithm>

#include <windows.h>

#include "comm/Deadline.h"
#include "comm/NaturalOrder.h"
#include "comm/win32/WideText.h"

namespace {

// Probing stops when this is spent; ports not yet probed are left out.
constexpr int64_t kProbeBudgetMs = 2000;
// More values than any machine has; it bounds a damaged key.
constexpr DWORD kMaxValues = 256;

std::vector<std::string> ListedPorts() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return names;
    }
    for (DWORD i = 0; i < kMaxValues; ++i) {
        wchar_t valueName[256];
        DWORD valueNameLength = 256;
        wchar_t data[64] = {};
        DWORD dataBytes = sizeof data - sizeof(wchar_t); // room for a terminator
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, i, valueName, &valueNameLength, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const std::string name = Utf8FromWide(data);
        if (!name.empty())
            names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

bool OpensExclusively(const std::string& name) {
    const std::wstring path = L"\\\\.\\" + WideFromUtf8(name);
    const HANDLE port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(port);
    return true;
}

} // namespace

std::vector<std::string> EnumerateSerialPorts() {
    std::vector<std::string> names = ListedPorts();
    std::sort(names.begin(), names.end(), NaturalLess);
    names.erase(std::unique(names.begin(), names.end()), names.end());

    const Deadline budget(kProbeBudgetMs);
    std::vector<std::string> usable;
    for (const std::string& name : names) {
        if (budget.Expired())
            break;
        if (OpensExclusively(name))
            usable.push_back(name);
    }
    return usable;
}
