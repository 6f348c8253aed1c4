#include <cstdio>

#include "history/IChangeWriter.h"

namespace {

// The civil date of a day count since 1970-01-01 (proleptic Gregorian), without the C
// library's time zone machinery, which differs between platforms.
void CivilDate(int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

} // namespace

char LevelChar(PointLevel level) {
    return level == PointLevel::High ? '1' : level == PointLevel::Low ? '0' : 'x';
}

std::string PointName(int32_t point) {
    char name[16];
    if (point < kFirstInputPoint)
        std::snprintf(name, sizeof name, "coil%02d", static_cast<int>(point));
    else
        std::snprintf(name, sizeof name, "input%02d", static_cast<int>(point - kFirstInputPoint));
    return name;
}

std::string UtcText(int64_t wallUs) {
    const int64_t ms = wallUs / 1000;
    const int64_t secondOfDay = (ms / 1000) % 86400;
    int year = 0, month = 0, day = 0;
    CivilDate(ms / 86400000, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d UTC", year, month, day,
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                  static_cast<int>(secondOfDay % 60), static_cast<int>(ms % 1000));
    return text;
}

bool ExportHistory(const PointHistory& history, IChangeWriter& writer, const std::string& path,
                   int64_t endUs) {
    PointLevel levels[kHistoryPoints];
    for (int32_t point = 0; point < kHistoryPoints; ++point)
        levels[point] = history.LevelBefore(point);
    if (!writer.Open(path, history.OriginWallUs(), history.DroppedThroughUs(), levels))
        return false;
    for (size_t i = 0; i < history.Size(); ++i)
        writer.Write(history.At(i));
    return writer.Close(endUs);
}
