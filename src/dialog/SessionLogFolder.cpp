#include "dialog/SessionLogFolder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "vornak-";
constexpr char kSuffix[] = ".log";

// Days since 1970-01-01 of a proleptic Gregorian date, without the time zone rules that
// mktime would apply. Years are counted from March so that the leap day comes last.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int64_t DayNumber(const std::tm& day) {
    return DaysFromCivil(day.tm_year + 1900LL, day.tm_mon + 1LL, day.tm_mday);
}

// The day number named by a daily file name; false for any other name.
bool ParseFileName(const std::string& name, int64_t& dayNumber) {
    const size_t prefix = sizeof(kPrefix) - 1;
    const size_t suffix = sizeof(kSuffix) - 1;
    if (name.size() != prefix + 10 + suffix || name.compare(0, prefix, kPrefix) != 0 ||
        name.compare(prefix + 10, suffix, kSuffix) != 0)
        return false;
    int fields[3] = {0, 0, 0};
    const size_t widths[3] = {4, 2, 2};
    size_t at = prefix;
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && name[at++] != '-')
            return false;
        for (size_t k = 0; k < widths[i]; ++k, ++at) {
            if (name[at] < '0' || name[at] > '9')
                return false;
            fields[i] = fields[i] * 10 + (name[at] - '0');
        }
    }
    if (fields[1] < 1 || fields[1] > 12 || fields[2] < 1 || fields[2] > 31)
        return false;
    dayNumber = DaysFromCivil(fields[0], fields[1], fields[2]);
    return true;
}

} // namespace

SessionLogFolder::SessionLogFolder(std::string folder) : m_folder(std::move(folder)) {}

std::string SessionLogFolder::FileNameFor(const std::tm& day) {
    char name[40];
    std::snprintf(name, sizeof name, "%s%04d-%02d-%02d%s", kPrefix, day.tm_year + 1900,
                  day.tm_mon + 1, day.tm_mday, kSuffix);
    return name;
}

std::string SessionLogFolder::PathFor(const std::tm& day) const {
    return (fs::u8path(m_folder) / FileNameFor(day)).u8string();
}

bool SessionLogFolder::Append(const std::tm& day, const std::string& text) {
    std::error_code error;
    const fs::path folder = fs::u8path(m_folder);
    if (m_folder.empty() ||
        (!fs::is_directory(folder, error) && !fs::create_directories(folder, error)))
        return false;
    std::ofstream file(folder / FileNameFor(day), std::ios::binary | std::ios::app);
    if (!file)
        return false;
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.flush(); // a full disk shows here, not only at close
    return static_cast<bool>(file);
}

int32_t SessionLogFolder::RemoveExpired(const std::tm& today, int32_t keepDays) {
    std::error_code error;
    const fs::path folder = fs::u8path(m_folder);
    if (m_folder.empty() || !fs::exists(folder, error))
        return 0;
    fs::directory_iterator it(folder, error);
    if (error)
        return -1;
    const int64_t oldestKept = DayNumber(today) - (keepDays - 1);
    int32_t removed = 0;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        int64_t dayNumber = 0;
        if (!ParseFileName(it->path().filename().u8string(), dayNumber) ||
            dayNumber >= oldestKept || !it->is_regular_file(error))
            continue;
        std::error_code removeError;
        if (fs::remove(it->path(), removeError))
            ++removed;
    }
    return removed;
}
