#include "history/VcdWriter.h"

#include <algorithm>

namespace {

// Identifier codes: one printable character per point, '!' onwards.
char VcdId(int32_t point) {
    return static_cast<char>('!' + point);
}

} // namespace

bool VcdWriter::Open(const std::string& path, int64_t originWallUs, int64_t timeUs,
                     const PointLevel (&levels)[kHistoryPoints]) {
    if (!m_file.Open(path))
        return false;
    std::ofstream& out = m_file.Stream();
    out << "$date " << UtcText(originWallUs) << " $end\n"
        << "$version Vornak $end\n"
        << "$comment time 0 is the first connect; x: no answer told the level $end\n"
        << "$timescale 1 us $end\n"
        << "$scope module board $end\n";
    for (int32_t point = 0; point < kHistoryPoints; ++point)
        out << "$var wire 1 " << VcdId(point) << ' ' << PointName(point) << " $end\n";
    out << "$upscope $end\n$enddefinitions $end\n";
    Time(timeUs);
    out << "$dumpvars\n";
    for (int32_t point = 0; point < kHistoryPoints; ++point)
        out << LevelChar(levels[point]) << VcdId(point) << '\n';
    out << "$end\n";
    return true;
}

void VcdWriter::Time(int64_t timeUs) {
    if (timeUs <= m_timeUs)
        return;
    m_timeUs = timeUs;
    m_file.Stream() << '#' << timeUs << '\n';
}

void VcdWriter::Write(const PointChange& change) {
    Time(change.timeUs);
    m_file.Stream() << LevelChar(change.level) << VcdId(change.point) << '\n';
}

// A viewer takes the last time mark as the end of the capture: without one after the last
// change, that change would not show.
bool VcdWriter::Close(int64_t endUs) {
    if (m_file.Stream().is_open())
        Time(std::max(endUs, m_timeUs + 1));
    return m_file.Close();
}
