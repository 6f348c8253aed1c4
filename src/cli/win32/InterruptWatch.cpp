#include "cli/InterruptWatch.h"

#include <windows.h>

#include "comm/CancelSignal.h"
#include "comm/Deadline.h"

namespace {

std::atomic<bool> interrupted{false};
// Set by the handler, so that a wait wakes at once.
HANDLE wakeEvent = nullptr;
// The main thread's cancel signal: raising it ends the wait under way at once.
CancelSignal* waits = nullptr;

// Windows calls this on a thread of its own for Ctrl-C and Ctrl-Break in the console.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE; // closing the console or logging off: the default ending
    // Raised before the flag is set: whoever sees the flag and lowers the signal again (to
    // restore the coils) has no raise still to come after it.
    if (waits != nullptr)
        waits->Raise();
    interrupted = true;
    SetEvent(wakeEvent);
    return TRUE;
}

} // namespace

bool InterruptWatch::Install() {
    if (wakeEvent == nullptr)
        wakeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    static CancelSignal signal;
    waits = &signal;
    CancelSignal::SetCurrent(waits);
    return wakeEvent != nullptr && SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void InterruptWatch::Resume() {
    // A raised signal without the flag yet: the handler is still under way on its thread.
    if (waits != nullptr && waits->IsRaised())
        WaitFor(1000);
    if (waits != nullptr)
        waits->Reset();
}

const std::atomic<bool>& InterruptWatch::Flag() {
    return interrupted;
}

bool InterruptWatch::Interrupted() {
    return interrupted || (waits != nullptr && waits->IsRaised());
}

bool InterruptWatch::WaitFor(int ms) {
    const Deadline deadline(ms);
    while (!interrupted && !deadline.Expired()) {
        if (wakeEvent != nullptr)
            WaitForSingleObject(wakeEvent, static_cast<DWORD>(deadline.RemainingMs()));
        else
            Sleep(static_cast<DWORD>(deadline.RemainingMs()));
    }
    return interrupted;
}

bool InterruptWatch::OutputGone() {
    // A write to a pipe whose reader has gone fails; that error ends poll and wait here.
    return false;
}

bool InterruptWatch::ErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
