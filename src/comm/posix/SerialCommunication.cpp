// The serial transport on a POSIX terminal device. The port's read and write time-outs
// that a Windows driver would apply are emulated here with poll() and monotonic
// deadlines, so that callers see the same results on both systems.
#include "comm/SerialCommunication.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

#include "comm/posix/ArbitraryBaudRate.h"
#include "comm/posix/CancellableWait.h"
#include "comm/posix/ExclusivePort.h"
#include "comm/posix/SerialLineSettings.h"

namespace {

using Clock = std::chrono::steady_clock;

// An answer ends at the first pause longer than this after its first byte.
constexpr std::chrono::milliseconds kInterByteGap{50};
// Read and write limits of the port: so much per byte plus a constant.
constexpr int64_t kMsPerByte = 10;
constexpr int64_t kConstantMs = 100;
// The longest a Send waits for the line to take the frame.
constexpr int64_t kWriteWaitMs = 1000;

// Unix 98 pseudo-terminal slaves use these majors.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

std::string DevicePath(const std::string& portName) {
    if (portName.empty() || portName[0] == '/')
        return portName;
    return "/dev/" + portName;
}

bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

bool ApplyLineSettings(int fd, const SerialConfig& config) {
    termios reported{};
    if (tcgetattr(fd, &reported) != 0)
        return false;
    SerialLineSettings wanted;
    if (!SerialLineSettings::Compose(config, reported, &wanted))
        return false;
    // On a pseudo-terminal, which keeps no parity, glibc reports the dropped parity bit as
    // EINVAL although the rest was taken; the read-back below judges what a pty can keep.
    if (tcsetattr(fd, TCSANOW, &wanted.attributes) != 0 &&
        !(errno == EINVAL && IsPseudoTerminal(fd)))
        return false;
    if (wanted.arbitraryRate && !SetArbitraryBaudRate(fd, wanted.baudRate))
        return false;

    // tcsetattr() succeeds when any part of the request was taken, so read it back.
    termios readBack{};
    uint32_t outputRate = 0;
    uint32_t inputRate = 0;
    if (tcgetattr(fd, &readBack) != 0 || !GetArbitraryBaudRate(fd, &outputRate, &inputRate)) {
        return false;
    }
    return wanted.TakenBy(readBack, IsPseudoTerminal(fd)) &&
           wanted.RateTaken(outputRate, inputRate);
}

// Milliseconds from now until `end`, rounded up so that a wait never ends early.
int WaitMs(Clock::time_point now, Clock::time_point end) {
    if (end <= now)
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
    return ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms);
}

constexpr short kGone = POLLHUP | POLLERR | POLLNVAL;

} // namespace

SerialCommunication::SerialCommunication() = default;

SerialCommunication::~SerialCommunication() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    CloseExclusivePort(static_cast<int>(handle));
    handle = kInvalidHandle;
    isOpen = false;
}

bool SerialCommunication::Initialize() {
    return true;
}

bool SerialCommunication::Configure(const void* config) {
    if (config == nullptr)
        return false;
    settings = *static_cast<const SerialConfig*>(config);
    return true;
}

bool SerialCommunication::Open() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (isOpen)
        Close();

    const int fd = OpenExclusivePort(DevicePath(settings.portName));
    if (fd < 0)
        return false;
    if (!ApplyLineSettings(fd, settings)) {
        CloseExclusivePort(fd);
        return false;
    }
    // Raise DTR and RTS; a pseudo-terminal has no modem lines and may refuse.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);

    handle = fd;
    isOpen = true;
    return true;
}

void SerialCommunication::Close() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (handle != kInvalidHandle)
        CloseExclusivePort(static_cast<int>(handle));
    handle = kInvalidHandle;
    isOpen = false;
}

bool SerialCommunication::IsOpen() {
    return isOpen;
}

int32_t SerialCommunication::Send(const uint8_t* data, int32_t length) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!isOpen || handle == kInvalidHandle)
        return -1;
    if (length < 0 || (data == nullptr && length > 0))
        return -1;
    if (length == 0)
        return 0;
    const int fd = static_cast<int>(handle);

    const int64_t portLimitMs = kMsPerByte * length + kConstantMs;
    const int64_t limitMs = std::min<int64_t>(kWriteWaitMs, portLimitMs);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(limitMs);
    int32_t sent = 0;
    for (;;) {
        const ssize_t n = write(fd, data + sent, static_cast<size_t>(length - sent));
        if (n > 0) {
            sent += static_cast<int32_t>(n);
            if (sent == length)
                return sent;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return -1;

        // The driver's buffer is full: wait for room, but only until the write limit. When
        // the port's own limit ends the write, the part taken (possibly none) is its result;
        // when the 1000 ms wait ends first, the write is abandoned as failed.
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return portLimitMs <= kWriteWaitMs ? sent : -1;
        pollfd p{fd, POLLOUT, 0};
        const int r = PollOrCancel(p, WaitMs(now, end));
        if (r == kWaitCancelled)
            return -1;
        if (r < 0 && errno != EINTR)
            return -1;
        if (r > 0 && (p.revents & POLLOUT) == 0 && (p.revents & kGone) != 0)
            return -1;
    }
}

int32_t SerialCommunication::Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) {
    if (!isOpen || handle == kInvalidHandle)
        return -1;
    if (size < 0 || (buffer == nullptr && size > 0))
        return -1;
    if (size == 0)
        return 0;
    const int fd = static_cast<int>(handle);

    const Clock::time_point start = Clock::now();
    const Clock::time_point callerEnd = start + std::chrono::milliseconds(std::max(timeoutMs, 0));
    const Clock::time_point totalEnd =
        start + std::chrono::milliseconds(kMsPerByte * size + kConstantMs);
    Clock::time_point lastByte{};
    int32_t got = 0;

    for (;;) {
        const Clock::time_point now = Clock::now();
        if (got == size)
            return got;
        Clock::time_point end;
        if (got == 0) {
            // The caller's wait bounds only the first byte; the port's total limit may
            // end the read with nothing before that wait is over.
            // Whichever ends first, nothing came: a silent board is a time-out on every
            // transport.
            if (now >= totalEnd || now >= callerEnd)
                return kReceiveNothing;
            end = std::min(totalEnd, callerEnd);
        } else {
            // An answer that has begun is read to its end, by the port's own rules.
            end = std::min(totalEnd, lastByte + kInterByteGap);
            if (now >= end)
                return got;
        }

        pollfd p{fd, POLLIN, 0};
        const int r = PollOrCancel(p, WaitMs(now, end));
        if (r == kWaitCancelled)
            return got > 0 ? got : 0; // the Device sees the signal and ends the operation
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            continue;
        if ((p.revents & POLLIN) == 0) // hung up or failed, nothing to read
            return got > 0 ? got : (p.revents & POLLHUP) ? kReceiveClosed : kReceiveFailed;

        const ssize_t n = read(fd, buffer + got, static_cast<size_t>(size - got));
        if (n > 0) {
            got += static_cast<int32_t>(n);
            lastByte = Clock::now();
            if (answerCheck && answerCheck(buffer, got))
                return got;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && (p.revents & kGone) == 0)
            continue;
        // Readable but at its end, or failing with EIO: the other side has gone away.
        if (n == 0 || errno == EIO || (p.revents & POLLHUP) != 0)
            return got > 0 ? got : kReceiveClosed;
        return got > 0 ? got : kReceiveFailed;
    }
}

void SerialCommunication::SetAnswerCheck(AnswerCheck check) {
    answerCheck = std::move(check);
}

int32_t SerialCommunication::DiscardPending(uint8_t* buffer, int32_t size) {
    if (!isOpen || handle == kInvalidHandle)
        return -1;
    if (size < 0 || (buffer == nullptr && size > 0))
        return -1;
    int32_t got = 0;
    // The port is non-blocking: a read returns what the driver holds and no more.
    while (got < size) {
        const ssize_t n =
            read(static_cast<int>(handle), buffer + got, static_cast<size_t>(size - got));
        if (n > 0) {
            got += static_cast<int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // The port is non-blocking, so an empty port gives EAGAIN: an end of file, or EIO,
        // means the other side has gone away.
        if (n == 0 || (n < 0 && errno == EIO))
            return got > 0 ? got : kReceiveClosed;
        if (n < 0 && errno != EAGAIN)
            return kReceiveFailed;
        break; // nothing more waiting
    }
    return got;
}
