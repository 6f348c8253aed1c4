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

bool InterruptWatch::Interrupted() {
    return interrupted || (waits != nullptr && waits->IsRaised());
}

bool InterruptWatch::WaitFor(int ms) {
    const Deadline deadline(ms);
    // The write end of a pipe reports POLLERR once its reader has closed it; a file or a
    // terminal reports nothing when no events are asked for. A closed descriptor is left out.
    pollfd watch[2] = {{wakePipe[0], POLLIN, 0}, {STDOUT_FILENO, 0, 0}};
    while (!interrupted && !deadline.Expired()) {
        if (::poll(watch, 2, deadline.RemainingMs()) <= 0)
            continue;
        if ((watch[1].revents & POLLERR) != 0)
            return true;
        if ((watch[1].revents & POLLNVAL) != 0)
            watch[1].fd = -1;
        if ((watch[0].revents & POLLNVAL) != 0)
            watch[0].fd = -1;
    }
    return interrupted;
}

bool InterruptWatch::OutputGone() {
    pollfd watch{STDOUT_FILENO, 0, 0};
    return ::poll(&watch, 1, 0) > 0 && (watch.revents & POLLERR) != 0;
}

bool InterruptWatch::ErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}
