#pragma once

#include <cstdint>
#include <mutex>

#include "comm/ICommunication.h"

// UDP datagrams from a bound local address and port to the device's address (IPv4, IPv6 or a
// host name, as the platform resolves it) and port. There is no connection: Open only prepares the
// socket. Only datagrams from the remote IP address count as answers (from any port: some gateways
// answer from another one). Open, Close and Send take the transport's lock; Receive does not, so
// the caller must not close or reopen the transport during a Receive.
class UdpCommunication : public ICommunication {
public:
    UdpCommunication() = default;
    // Closes the socket if it is still open.
    ~UdpCommunication() override;
    UdpCommunication(const UdpCommunication&) = delete;
    UdpCommunication& operator=(const UdpCommunication&) = delete;

    // Marks the socket layer as prepared for this object; always true on POSIX.
    bool Initialize() override;
    // Copies a UdpConfig; false (settings unchanged) for a null pointer.
    bool Configure(const void* config) override;
    // Binds localIp:localPort (every local address when localIp does not parse) and
    // prepares the remote address; closes an open socket first. False, with nothing
    // left open, when remoteIp does not resolve (POSIX: a name, IPv4 or IPv6; Windows: dotted
    // IPv4 only) or the bind fails.
    bool Open() override;
    // Closes the socket; nothing happens when already closed.
    void Close() override;
    // True between a successful Open and Close.
    bool IsOpen() override;
    // Sends one datagram to the remote address: the count sent, or -1 when closed, for
    // bad arguments or when the send failed.
    int32_t Send(const uint8_t* data, int32_t length) override;
    // Waits up to timeoutMs for a datagram from the remote IP address and returns its
    // size, dropping datagrams from other addresses; 0 when none came in time or the
    // wait failed; -1 when closed, for bad arguments, for a datagram larger than size
    // (it is dropped) or on any read error.
    int32_t Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) override;
    // Ignored: a datagram is one piece of an answer.
    void SetAnswerCheck(AnswerCheck check) override;
    // Reads the datagrams already waiting, from any sender, without blocking: the bytes
    // dropped (those beyond size are dropped uncounted), or -1 when closed or on error.
    int32_t DiscardPending(uint8_t* buffer, int32_t size) override;

private:
    static constexpr std::intptr_t kInvalidSocket = -1;

    void ReleaseSocket();

    std::intptr_t socketHandle = kInvalidSocket;
    UdpConfig settings;
    bool isOpen = false;
    bool socketStarted = false;
    std::recursive_mutex lock;
    // The device's address as the system's socket address (16 bytes for IPv4, 28 for
    // IPv6), kept opaque here so that this header stays free of platform headers.
    alignas(8) unsigned char remoteAddress[28] = {};
};
