#include "comm/posix/CancellableWait.h"

#include "comm/CancelSignal.h"

int PollOrCancel(pollfd& entry, int timeoutMs) {
    const CancelSignal* signal = CancelSignal::Current();
    if (signal == nullptr)
        return poll(&entry, 1, timeoutMs);
    if (signal->IsRaised())
        return kWaitCancelled;
    pollfd both[2] = {entry, {static_cast<int>(signal->Handle()), POLLIN, 0}};
    const int ready = poll(both, signal->Handle() >= 0 ? 2 : 1, timeoutMs);
    if (signal->IsRaised())
        return kWaitCancelled;
    entry.revents = both[0].revents;
    return ready > 0 && both[0].revents == 0 ? 0 : ready;
}
