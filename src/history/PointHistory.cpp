#include "history/PointHistory.h"

#include <algorithm>

PointHistory::PointHistory(size_t capacity) : m_capacity(std::max<size_t>(capacity, 1)) {
    std::fill(std::begin(m_current), std::end(m_current), PointLevel::Unknown);
    std::fill(std::begin(m_before), std::end(m_before), PointLevel::Unknown);
}

bool PointHistory::Record(int64_t timeUs, int32_t point, PointLevel level) {
    if (point < 0 || point >= kHistoryPoints || m_current[point] == level)
        return false;
    timeUs = std::max(timeUs, NewestUs());
    const PointChange change{timeUs, static_cast<uint8_t>(point), level};
    if (m_size < m_capacity) {
        // Grows as changes come, so a short session does not hold the whole capacity.
        if (m_ring.size() < m_capacity)
            m_ring.push_back(change);
        else
            m_ring[(m_head + m_size) % m_capacity] = change;
        ++m_size;
    } else {
        const PointChange& oldest = m_ring[m_head];
        m_before[oldest.point] = oldest.level;
        m_droppedThroughUs = oldest.timeUs;
        ++m_dropped;
        m_ring[m_head] = change;
        m_head = (m_head + 1) % m_capacity;
    }
    m_current[point] = level;
    return true;
}

void PointHistory::MarkUnknown(int64_t timeUs, int32_t first, int32_t count) {
    for (int32_t point = first; point < first + count; ++point)
        Record(timeUs, point, PointLevel::Unknown);
}

PointLevel PointHistory::Current(int32_t point) const {
    return point >= 0 && point < kHistoryPoints ? m_current[point] : PointLevel::Unknown;
}

PointLevel PointHistory::LevelBefore(int32_t point) const {
    return point >= 0 && point < kHistoryPoints ? m_before[point] : PointLevel::Unknown;
}

size_t PointHistory::FirstAtOrAfter(int64_t timeUs) const {
    size_t low = 0, high = m_size;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (At(middle).timeUs < timeUs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

PointLevel PointHistory::LevelAt(int32_t point, int64_t timeUs) const {
    for (size_t i = FirstAtOrAfter(timeUs + 1); i > 0; --i) {
        if (At(i - 1).point == point)
            return At(i - 1).level;
    }
    return LevelBefore(point);
}
