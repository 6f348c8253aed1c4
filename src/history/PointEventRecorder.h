#pragma once

#include <cstdint>
#include <functional>

#include "device/DeviceState.h"
#include "history/PointHistory.h"

// Turns a Device's events, in the order it raised them, into a PointHistory. A point's
// level is only taken as known when an answer confirmed it: the coil and input events of an
// exchange are held until its result, and then written with the result's time (when the
// answer arrived). A failed read makes its 32 points unknown, a failed write its coil; a
// disconnect, an error or a silent board makes every point unknown. The events that clear
// the caches after a disconnect are not news about the board and write nothing.
//
// Times are µs of a monotonic clock; the history counts from the first connect.
class PointEventRecorder {
public:
    // history must outlive this object. wallNowUs: the wall clock (µs since 1970), read
    // once at the first connect.
    explicit PointEventRecorder(PointHistory& history, std::function<int64_t()> wallNowUs = {});

    // A coil (isCoil) or input event; indices outside 0..31 are ignored.
    void OnPoint(bool isCoil, int32_t index, uint8_t state);
    // The end of an exchange: functionCode 1 reads coils, 2 reads inputs, 5 writes a coil.
    void OnResult(uint8_t functionCode, bool success, int64_t timeUs);
    void OnState(DeviceState newState, int64_t timeUs);

    // Whether a connect has started the history, and its origin on the monotonic clock.
    bool Started() const { return m_started; }
    int64_t OriginUs() const { return m_originUs; }

private:
    int64_t Since(int64_t timeUs) const { return timeUs - m_originUs; }

    PointHistory& m_history;
    std::function<int64_t()> m_wallNowUs;
    bool m_started = false;
    int64_t m_originUs = 0;
    // The levels the events report (the device's cache), and which points an unfinished
    // exchange has reported.
    uint8_t m_reported[kHistoryPoints] = {};
    bool m_pending[kHistoryPoints] = {};
};
