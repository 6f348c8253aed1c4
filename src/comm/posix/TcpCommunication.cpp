#include "comm/TcpCommunication.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "comm/posix/SocketSupport.h"

using namespace socket_support;

namespace {

// Switches O_NONBLOCK on or off; false when fcntl fails.
bool SetNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd, F_SETFL, wanted) == 0;
}

// Connects fd without blocking longer than timeoutMs. On Linux a refused connection
// shows at once as a writable socket with SO_ERROR set, so the wait ends early then.
bool ConnectWithin(int fd, const NumericAddress& address, uint32_t timeoutMs) {
    // Without non-blocking mode the connect could hang for the kernel's SYN retries.
    if (!SetNonBlocking(fd, true))
        return false;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0) {
        if (errno != EINPROGRESS)
            return false;
        if (WaitForSocket(fd, POLLOUT, ClampWaitMs(timeoutMs)) <= 0)
            return false;
        int pending = 0;
        socklen_t length = sizeof pending;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0 || pending != 0) {
            return false;
        }
    }
    // A socket left non-blocking still works: a full send buffer then fails at once.
    SetNonBlocking(fd, false);
    return true;
}

} // namespace

TcpCommunication::~TcpCommunication() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    ReleaseSocket();
}

bool TcpCommunication::Initialize() {
    socketStarted = true;
    return true;
}

bool TcpCommunication::Configure(const void* config) {
    if (config == nullptr)
        return false;
    settings = *static_cast<const TcpConfig*>(config);
    return true;
}

bool TcpCommunication::Open() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (isOpen)
        Close();

    NumericAddress address;
    if (!MakeNumericAddress(settings.serverIp, settings.port, SOCK_STREAM, &address))
        return false;
    const int fd = socket(address.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return false;
    if (!ConnectWithin(fd, address, settings.timeoutMs)) {
        CloseSocket(fd);
        return false;
    }
    SetTimeoutOption(fd, SO_RCVTIMEO, settings.timeoutMs);
    SetTimeoutOption(fd, SO_SNDTIMEO, settings.timeoutMs);
    socketHandle = fd;
    isOpen = true;
    return true;
}

void TcpCommunication::Close() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    ReleaseSocket();
}

bool TcpCommunication::IsOpen() {
    return isOpen;
}

int32_t TcpCommunication::Send(const uint8_t* data, int32_t length) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!isOpen || socketHandle == kInvalidSocket)
        return -1;
    if (length < 0 || (data == nullptr && length > 0))
        return -1;
    // MSG_NOSIGNAL: a peer that has gone yields EPIPE instead of killing the process.
    const ssize_t sent =
        send(static_cast<int>(socketHandle), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    return sent < 0 ? -1 : static_cast<int32_t>(sent);
}

int32_t TcpCommunication::Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) {
    if (!isOpen || socketHandle == kInvalidSocket)
        return -1;
    if (size < 0 || (buffer == nullptr && size > 0))
        return -1;
    const int fd = static_cast<int>(socketHandle);
    const int ready = WaitForSocket(fd, POLLIN, timeoutMs);
    if (ready <= 0)
        return ready == 0 ? kReceiveNothing : kReceiveFailed;
    // A closed peer makes the socket readable at once and recv return 0 on every call.
    const ssize_t received = recv(fd, buffer, static_cast<size_t>(size), 0);
    if (received > 0)
        return static_cast<int32_t>(received);
    if (received == 0)
        return size == 0 ? kReceiveNothing : kReceiveClosed;
    if (errno == ECONNRESET)
        return kReceiveClosed;
    // The end of SO_RCVTIMEO counts as "nothing arrived".
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? kReceiveNothing : kReceiveFailed;
}

void TcpCommunication::SetAnswerCheck(AnswerCheck) {}

int32_t TcpCommunication::DiscardPending(uint8_t* buffer, int32_t size) {
    if (!isOpen || socketHandle == kInvalidSocket)
        return -1;
    if (size < 0 || (buffer == nullptr && size > 0))
        return -1;
    int32_t got = 0;
    while (got < size) {
        const ssize_t n = recv(static_cast<int>(socketHandle), buffer + got,
                               static_cast<size_t>(size - got), MSG_DONTWAIT);
        if (n > 0) {
            got += static_cast<int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A close is told only when nothing came before it; the next call tells it then.
        if ((n == 0 && size > 0) || (n < 0 && errno == ECONNRESET))
            return got > 0 ? got : kReceiveClosed;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return kReceiveFailed;
        break; // nothing more waiting
    }
    return got;
}

void TcpCommunication::ReleaseSocket() {
    if (socketHandle != kInvalidSocket) {
        CloseSocket(static_cast<int>(socketHandle));
        socketHandle = kInvalidSocket;
    }
    isOpen = false;
}
