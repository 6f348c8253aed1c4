#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The folder of daily session log files "vornak-YYYY-MM-DD.log": appends text to the file
// of a given day and removes the files of days gone by. Used by one thread at a time.
class SessionLogFolder {
public:
    // folder: UTF-8 path; created when the first text is appended.
    explicit SessionLogFolder(std::string folder);

    // The file name of the day of `day` (its tm_year, tm_mon and tm_mday), without folder.
    static std::string FileNameFor(const std::tm& day);
    // Full UTF-8 path of that day's file.
    std::string PathFor(const std::tm& day) const;
    const std::string& Folder() const { return m_folder; }

    // Appends text as it is to the file of `day`, creating the folder and the file when
    // missing. False when the folder cannot be made or the file not opened or written
    // in full (unwritable folder, full disk).
    bool Append(const std::tm& day, const std::string& text);
    // Removes the daily files older than keepDays days, counting `today` as the first
    // day kept. Other files are left alone. Returns how many were removed; -1 when the
    // folder cannot be listed (a missing folder removes 0).
    int32_t RemoveExpired(const std::tm& today, int32_t keepDays);

private:
    std::string m_folder;
};
