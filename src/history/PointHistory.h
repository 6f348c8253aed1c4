#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The level of one point at some moment: off, on, or unknown (no answer told it).
enum class PointLevel : int8_t { Low = 0, High = 1, Unknown = -1 };

// The 64 points of a history: coils 0..31 are points 0..31, inputs 0..31 are points 32..63.
constexpr int32_t kHistoryPoints = 64;
constexpr int32_t kFirstInputPoint = 32;

// One change: from this moment (µs since the history's origin) the point has this level.
struct PointChange {
    int64_t timeUs = 0;
    uint8_t point = 0;
    PointLevel level = PointLevel::Unknown;
};

// The changes of the 64 points in time order, at most `capacity` of them: when full, the
// oldest change goes first, and what it set becomes the level before the oldest one kept.
// Every point starts unknown. Not thread-safe: one owner thread.
class PointHistory {
public:
    static constexpr size_t kDefaultCapacity = 1000000;

    explicit PointHistory(size_t capacity = kDefaultCapacity);

    // Appends a change when the point's level differs from its current one; false when it
    // does not, or for a point outside 0..63. A time before the newest change is taken as
    // the newest change's time, so the history stays in order.
    bool Record(int64_t timeUs, int32_t point, PointLevel level);
    // Every point in [first, first + count) becomes unknown at timeUs.
    void MarkUnknown(int64_t timeUs, int32_t first, int32_t count);

    PointLevel Current(int32_t point) const;
    // The level a point had before the oldest change kept (unknown until a drop).
    PointLevel LevelBefore(int32_t point) const;
    // The level a point had at timeUs (a change at exactly timeUs counts).
    PointLevel LevelAt(int32_t point, int64_t timeUs) const;

    size_t Size() const { return m_size; }
    size_t Capacity() const { return m_capacity; }
    // The i-th change kept, 0 the oldest; i must be below Size().
    const PointChange& At(size_t i) const { return m_ring[(m_head + i) % m_capacity]; }
    // The index of the first change at or after timeUs; Size() when there is none.
    size_t FirstAtOrAfter(int64_t timeUs) const;
    // Changes dropped so far, and the time of the newest of them (0 when none).
    uint64_t Dropped() const { return m_dropped; }
    int64_t DroppedThroughUs() const { return m_droppedThroughUs; }
    // The time of the newest change; 0 when there is none.
    int64_t NewestUs() const { return m_size == 0 ? m_droppedThroughUs : At(m_size - 1).timeUs; }

    // The wall-clock time (µs since 1970, UTC) of time 0; 0 until set.
    void SetOriginWallUs(int64_t wallUs) { m_originWallUs = wallUs; }
    int64_t OriginWallUs() const { return m_originWallUs; }

private:
    size_t m_capacity;
    std::vector<PointChange> m_ring;
    size_t m_head = 0;
    size_t m_size = 0;
    uint64_t m_dropped = 0;
    int64_t m_droppedThroughUs = 0;
    int64_t m_originWallUs = 0;
    PointLevel m_current[kHistoryPoints];
    PointLevel m_before[kHistoryPoints];
};
