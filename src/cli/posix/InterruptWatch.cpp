#include "cli/InterruptWatch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "comm/CancelSignal.h"
#include "comm/Deadline.h"

namespace {

std::atomic<bool> interrupted{false};
// The handler writes a byte here, so that a wait on the other end wakes at once.
int wakePipe[2] = {-1, -1};

// Made before the handlers are installed: raising it is async-signal-safe.
CancelSignal* waits = nullptr;

void OnSignal(int) {
    interrupted = true;
    if (waits != nullptr)
        waits->Raise();
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
}

} // namespace

bool InterruptWatch::Install() {
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    static CancelSignal signal;
    waits = &signal;
    CancelSignal::SetCurrent(waits);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // A closed standard output ends the program through write errors, not SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
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
        pollfd watch{wakePipe[0], POLLIN, 0};
        ::poll(&watch, wakePipe[0] >= 0 ? 1 : 0, deadline.RemainingMs());
    }
    return interrupted;
}
