#include "dialog/UserFolders.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <ctime>

namespace {

std::string ToUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1)); // without the terminating zero
    return result;
}

// <folder>\Vornak: of the local application data (C:\Users\name\AppData\Local\Vornak)
// or the roaming one (...\AppData\Roaming\Vornak).
std::string VornakDataFolder(REFKNOWNFOLDERID folder) {
    PWSTR path = nullptr;
    std::string result;
    if (SUCCEEDED(SHGetKnownFolderPath(folder, 0, nullptr, &path)))
        result = ToUtf8(path);
    CoTaskMemFree(path); // the shell allocates even when it fails
    return result.empty() ? result : result + "\\Vornak";
}

} // namespace

std::string UserFolders::SessionLogFolder() {
    const std::string base = VornakDataFolder(FOLDERID_LocalAppData);
    return base.empty() ? base : base + "\\logs";
}

std::string UserFolders::SettingsFolder() {
    // Settings follow a user who roams between machines; the logs stay on this one.
    return VornakDataFolder(FOLDERID_RoamingAppData);
}

std::tm UserFolders::LocalTime(std::time_t t) {
    std::tm result{};
    if (localtime_s(&result, &t) != 0)
        return std::tm{};
    return result;
}
