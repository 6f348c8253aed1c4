#include "support/PtyPair.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "comm/Deadline.h"

namespace {

// Waits for input. A master without an open slave reports a hang-up at once, which would
// make waiting on it spin, so then it pauses briefly instead.
bool WaitForInput(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN) != 0)
        return true;
    if ((p.revents & POLLHUP) != 0)
        poll(nullptr, 0, timeoutMs < 5 ? timeoutMs : 5);
    return false;
}

} // namespace

PtyPair::PtyPair() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    termios raw{};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0 || fcntl(master, F_SETFL, O_NONBLOCK) != 0 ||
        tcgetattr(master, &raw) != 0) {
        CloseMaster();
        return;
    }
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    slavePath = name;
}

bool PtyPair::Write(const Bytes& bytes) {
    return master >= 0 && write(master, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

PtyPair::Bytes PtyPair::Read(size_t count, int timeoutMs) {
    const Deadline deadline(timeoutMs);
    Bytes got(count);
    size_t done = 0;
    // Failed reads (EIO while no slave is open) only mean "nothing yet" until the deadline.
    while (done < count && (WaitForInput(master, deadline.RemainingMs()) || !deadline.Expired())) {
        const ssize_t n = read(master, got.data() + done, count - done);
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    got.resize(done);
    return got;
}

void PtyPair::CloseMaster() {
    if (master >= 0)
        close(master);
    master = -1;
}
