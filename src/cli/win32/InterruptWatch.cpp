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
    interrupted = true;
    SetEvent(wakeEvent);
    if (waits != nullptr)
        waits->Raise();
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
    if (waits != nullptr)
        waits->Reset();
}

const std::atomic<bool>& InterruptWatch::Flag() {
    return interrupted;
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
