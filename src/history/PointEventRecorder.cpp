#include "history/PointEventRecorder.h"

#include <chrono>

PointEventRecorder::PointEventRecorder(PointHistory& history, std::function<int64_t()> wallNowUs)
    : m_history(history), m_wallNowUs(std::move(wallNowUs)) {
    if (!m_wallNowUs) {
        m_wallNowUs = [] {
            return std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                .count();
        };
    }
}

void PointEventRecorder::OnPoint(bool isCoil, int32_t index, uint8_t state) {
    if (index < 0 || index >= kFirstInputPoint)
        return;
    const int32_t point = isCoil ? index : kFirstInputPoint + index;
    m_reported[point] = state != 0 ? 1 : 0;
    m_pending[point] = true;
}

void PointEventRecorder::OnResult(uint8_t functionCode, bool success, int64_t timeUs) {
    if (m_started) {
        for (int32_t point = 0; point < kHistoryPoints; ++point) {
            // A read answers for its whole block; a write only for the coils it reported.
            const bool answered = functionCode == 1 ? point < kFirstInputPoint
                                  : functionCode == 2
                                      ? point >= kFirstInputPoint
                                      : m_pending[point] && point < kFirstInputPoint;
            if (!answered)
                continue;
            const PointLevel level = !success                 ? PointLevel::Unknown
                                     : m_reported[point] != 0 ? PointLevel::High
                                                              : PointLevel::Low;
            m_history.Record(Since(timeUs), point, level);
        }
    }
    std::fill(std::begin(m_pending), std::end(m_pending), false);
}

void PointEventRecorder::OnState(DeviceState newState, int64_t timeUs) {
    std::fill(std::begin(m_pending), std::end(m_pending), false);
    if (newState == DeviceState::Connected && !m_started) {
        m_started = true;
        m_originUs = timeUs;
        m_history.SetOriginWallUs(m_wallNowUs());
    }
    if (m_started && (newState == DeviceState::Disconnected || newState == DeviceState::Error ||
                      newState == DeviceState::Offline)) {
        m_history.MarkUnknown(Since(timeUs), 0, kHistoryPoints);
    }
}
