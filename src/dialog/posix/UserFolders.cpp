#include "dialog/UserFolders.h"

#include <cstdlib>
#include <ctime>

namespace {

// An XDG base folder: the variable when it holds an absolute path (relative values
// are invalid and must be ignored), else the fallback below $HOME.
std::string BaseFolder(const char* variable, const char* fallbackBelowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0')
        return {};
    return std::string(home) + "/" + fallbackBelowHome;
}

} // namespace

std::string UserFolders::SessionLogFolder() {
    const std::string base = BaseFolder("XDG_STATE_HOME", ".local/state");
    return base.empty() ? base : base + "/vornak/logs";
}

std::string UserFolders::SettingsFolder() {
    const std::string base = BaseFolder("XDG_CONFIG_HOME", ".config");
    return base.empty() ? base : base + "/vornak";
}

std::tm UserFolders::LocalTime(std::time_t t) {
    std::tm result{};
    if (localtime_r(&t, &result) == nullptr)
        return std::tm{};
    return result;
}
