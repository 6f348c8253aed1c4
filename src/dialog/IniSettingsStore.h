#pragma once

#include <map>
#include <string>

#include "dialog/ISettingsStore.h"

// Settings kept in an INI file: the key "serial/baud" is the line "baud=..." in section
// "[serial]"; a key without '/' comes before any section. Line breaks, tabs and
// backslashes in values are written as \n, \r, \t and \\. Everything is held in memory
// between Load and Sync.
class IniSettingsStore : public ISettingsStore {
public:
    // Files larger than this are read only this far (what is cut off is lost).
    static constexpr size_t kMaxFileBytes = 1 << 20;

    // path: UTF-8 path of the file; nothing is read until Load.
    explicit IniSettingsStore(std::string path);

    // Replaces what is held by the file's contents. False when there is no file or it
    // cannot be read (nothing is held then). Lines that are not "key=value", "[section]",
    // blank or comments (';' or '#') are skipped.
    bool Load();

    bool Read(const std::string& key, std::string& value) const override;
    void Write(const std::string& key, const std::string& value) override;
    void Clear() override;
    // Writes the whole file anew (through a temporary file beside it, so that a failed
    // write leaves the old file whole), creating its folder. False on any failure.
    bool Sync() override;

private:
    std::string m_path;
    std::map<std::string, std::string> m_values;
};
