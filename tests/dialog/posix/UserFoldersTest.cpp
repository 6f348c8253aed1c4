// Where the session logs and settings go: below an absolute XDG folder, else below $HOME
// (a relative or unset XDG variable is ignored); nowhere without a home.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "dialog/UserFolders.h"

namespace {

TEST(UserFolders, AbsoluteXdgFoldersElseBelowHome) {
    std::optional<std::string> saved[3];
    const char* names[3] = {"HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME"};
    for (int i = 0; i < 3; ++i)
        if (const char* value = std::getenv(names[i]))
            saved[i] = value;
    setenv("HOME", "/home/op", 1);
    setenv("XDG_STATE_HOME", "/var/st", 1);
    setenv("XDG_CONFIG_HOME", "conf", 1);
    EXPECT_EQ(UserFolders::SessionLogFolder(), "/var/st/vornak/logs");
    EXPECT_EQ(UserFolders::SettingsFolder(), "/home/op/.config/vornak");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(UserFolders::SessionLogFolder(), "/home/op/.local/state/vornak/logs");
    setenv("HOME", "", 1);
    EXPECT_EQ(UserFolders::SettingsFolder(), "");
    for (int i = 0; i < 3; ++i)
        saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
}

} // namespace
