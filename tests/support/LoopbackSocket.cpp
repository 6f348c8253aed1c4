// One loopback socket for both systems: SocketApi.h (posix/ or win32/, whichever CMake puts
// on the include path) holds the few calls that differ. The handle keeps a SOCKET on
// Windows; -1 is "none" on both (INVALID_SOCKET).
#include "support/LoopbackSocket.h"

#include "SocketApi.h"

namespace {

using socket_api::Socket;

Socket AsSocket(intptr_t handle) {
    return static_cast<Socket>(handle);
}

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool WaitFor(intptr_t handle, bool forWrite, int32_t timeoutMs) {
    return handle != -1 && socket_api::WaitFor(AsSocket(handle), forWrite, timeoutMs);
}

} // namespace

LoopbackSocket::LoopbackSocket(bool stream)
    : handle(static_cast<intptr_t>(socket_api::Open(stream))) {
    sockaddr_in address = Loopback(0);
    socket_api::Length length = sizeof address;
    if (bind(AsSocket(handle), reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(AsSocket(handle), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
    Close();
}

bool LoopbackSocket::Listen(int backlog) {
    return listen(AsSocket(handle), backlog) == 0;
}

bool LoopbackSocket::Accept(LoopbackSocket& into, int32_t timeoutMs) {
    const intptr_t accepted =
        WaitFor(handle, false, timeoutMs)
            ? static_cast<intptr_t>(accept(AsSocket(handle), nullptr, nullptr))
            : -1;
    if (accepted != -1) {
        into.Close();
        into.handle = accepted;
    }
    return accepted != -1;
}

int LoopbackSocket::Receive(Bytes& bytes, uint16_t* senderPort, int32_t timeoutMs,
                            uint32_t* senderHost) {
    sockaddr_in sender{};
    socket_api::Length length = sizeof sender;
    bytes.resize(65536);
    const int n =
        WaitFor(handle, false, timeoutMs)
            ? static_cast<int>(recvfrom(AsSocket(handle), reinterpret_cast<char*>(bytes.data()),
                                        static_cast<int>(bytes.size()), 0,
                                        reinterpret_cast<sockaddr*>(&sender), &length))
            : -1;
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (senderPort != nullptr)
        *senderPort = ntohs(sender.sin_port);
    if (senderHost != nullptr)
        *senderHost = ntohl(sender.sin_addr.s_addr);
    return n;
}

bool LoopbackSocket::Send(const Bytes& bytes, uint16_t toPort) {
    const sockaddr_in to = Loopback(toPort);
    return static_cast<int>(sendto(AsSocket(handle), reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<int>(bytes.size()), socket_api::kSendFlags,
                                   toPort == 0 ? nullptr : reinterpret_cast<const sockaddr*>(&to),
                                   toPort == 0 ? 0 : sizeof to)) == static_cast<int>(bytes.size());
}

bool LoopbackSocket::Connect(uint16_t toPort, int32_t waitMs) {
    const sockaddr_in to = Loopback(toPort);
    socket_api::SetNonBlocking(AsSocket(handle));
    return connect(AsSocket(handle), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ||
           WaitFor(handle, true, waitMs);
}

void LoopbackSocket::Close() {
    if (handle != -1)
        socket_api::Close(AsSocket(handle));
    handle = -1;
}

int OpenHandleCount() {
    return socket_api::OpenHandles();
}
