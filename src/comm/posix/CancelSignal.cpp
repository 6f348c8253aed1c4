#include "comm/CancelSignal.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "comm/Deadline.h"

CancelSignal::CancelSignal() : handle(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (handle >= 0)
        close(static_cast<int>(handle));
}

void CancelSignal::Raise() {
    raised.store(true);
    if (handle >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(static_cast<int>(handle), &one, sizeof one);
    }
}

void CancelSignal::Reset() {
    raised.store(false);
    if (handle >= 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(static_cast<int>(handle), &count, sizeof count);
    }
}

bool CancelSignal::WaitMs(int32_t ms) const {
    const Deadline deadline(ms);
    while (!IsRaised() && !deadline.Expired()) {
        pollfd entry{static_cast<int>(handle), POLLIN, 0};
        // Without a descriptor the wait is a plain sleep in short steps.
        const int limit = handle >= 0 ? deadline.RemainingMs() : 10;
        if (poll(&entry, handle >= 0 ? 1 : 0, limit) < 0 && errno != EINTR)
            break;
    }
    return IsRaised();
}
