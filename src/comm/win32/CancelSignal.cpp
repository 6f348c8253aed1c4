#include "comm/CancelSignal.h"

#include <windows.h>

#include "comm/Deadline.h"

namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

// A manual-reset event: it stays signalled until Reset, as the flag does.
CancelSignal::CancelSignal()
    : handle(reinterpret_cast<intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}

CancelSignal::~CancelSignal() {
    if (handle != 0)
        CloseHandle(AsHandle(handle));
}

void CancelSignal::Raise() {
    raised.store(true);
    if (handle != 0)
        SetEvent(AsHandle(handle));
}

void CancelSignal::Reset() {
    raised.store(false);
    if (handle != 0)
        ResetEvent(AsHandle(handle));
}

bool CancelSignal::WaitMs(int32_t ms) const {
    const Deadline deadline(ms);
    while (!IsRaised() && !deadline.Expired()) {
        // Without an event the wait is a plain sleep in short steps.
        if (handle == 0)
            Sleep(10);
        else
            WaitForSingleObject(AsHandle(handle), static_cast<DWORD>(deadline.RemainingMs()));
    }
    return IsRaised();
}
