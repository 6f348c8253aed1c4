#pragma once

#include <ctime>
#include <string>

// Where this user's files of Vornak live, and the local calendar time, as each platform
// defines them. One implementation per platform (posix/, win32/).
class UserFolders {
public:
    // Folder of the daily session log files (UTF-8): $XDG_STATE_HOME/vornak/logs, else
    // ~/.local/state/vornak/logs; on Windows <local application data>\Vornak\logs. Empty
    // when no home or application data folder is known.
    static std::string SessionLogFolder();
    // Folder for a settings file of a window that keeps its own (UTF-8): <roaming
    // application data>\Vornak (%APPDATA%) on Windows, $XDG_CONFIG_HOME/vornak (else
    // ~/.config/vornak) elsewhere. Empty when unknown.
    static std::string SettingsFolder();
    // Broken-down local time of t; all fields zero when the conversion fails.
    static std::tm LocalTime(std::time_t t);
};
