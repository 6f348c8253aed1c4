#pragma once

#include <atomic>
#include <cstdint>

// A wake-up that ends waits at once. A thread makes a signal its own with SetCurrent; from
// then on every wait of the transports and of the Device on that thread watches the signal
// beside its handle, and a Raise from any thread (or a signal handler) ends it. The signal
// stays raised until Reset, so a raise between two waits ends the next one at once.
class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    // Any thread; async-signal-safe on POSIX.
    void Raise();
    // Lowers the signal again.
    void Reset();
    bool IsRaised() const { return raised.load(); }
    // Waits up to ms; true when the signal is (or becomes) raised.
    bool WaitMs(int32_t ms) const;
    // What a platform wait watches: an eventfd (POSIX) or an event HANDLE (Win32); -1 (POSIX)
    // or 0 (Win32) when the system gave none, and then only IsRaised tells.
    intptr_t Handle() const { return handle; }

    // The signal the calling thread's waits watch; null for none.
    static CancelSignal* Current();
    // Makes signal (null: none) the calling thread's.
    static void SetCurrent(CancelSignal* signal);
    // Whether the calling thread's signal is raised.
    static bool CurrentRaised();

private:
    std::atomic<bool> raised{false};
    intptr_t handle;
};
