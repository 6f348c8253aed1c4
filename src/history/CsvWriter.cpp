#include "history/CsvWriter.h"

#include <cinttypes>
#include <cstdio>

bool CsvWriter::Open(const std::string& path, int64_t, int64_t timeUs,
                     const PointLevel (&levels)[kHistoryPoints]) {
    if (!m_file.Open(path))
        return false;
    m_file.Stream() << "time,point,value\n";
    for (int32_t point = 0; point < kHistoryPoints; ++point)
        Write(PointChange{timeUs, static_cast<uint8_t>(point), levels[point]});
    return true;
}

void CsvWriter::Write(const PointChange& change) {
    char time[32];
    std::snprintf(time, sizeof time, "%" PRId64 ".%06d", change.timeUs / 1000000,
                  static_cast<int>(change.timeUs % 1000000));
    m_file.Stream() << time << ',' << PointName(change.point) << ',' << LevelChar(change.level)
                    << '\n';
}
