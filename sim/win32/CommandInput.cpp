#include "CommandInput.h"

#include <ws2tcpip.h>

#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

struct CommandInput::Shared {
    std::mutex mutex;
    std::deque<std::string> lines;
    bool ended = false;
    sockaddr_in wakeAddress{};
};

CommandInput::CommandInput() : m_shared(std::make_shared<Shared>()) {}

CommandInput::~CommandInput() {
    if (m_wake != INVALID_SOCKET)
        closesocket(m_wake);
}

bool CommandInput::Start() {
    m_wake = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (m_wake == INVALID_SOCKET)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    u_long nonBlocking = 1;
    if (bind(m_wake, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(m_wake, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ioctlsocket(m_wake, FIONBIO, &nonBlocking) != 0)
        return false;
    m_shared->wakeAddress = address;
    // Blocked in a read of standard input until the process ends: the thread is left to
    // the process's end, holding only the shared state.
    std::thread([shared = m_shared] {
        const SOCKET waker = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        auto wake = [&] {
            const char byte = 0;
            sendto(waker, &byte, 1, 0, reinterpret_cast<const sockaddr*>(&shared->wakeAddress),
                   sizeof shared->wakeAddress);
        };
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            {
                const std::lock_guard<std::mutex> lock(shared->mutex);
                shared->lines.push_back(line);
            }
            wake();
        }
        {
            const std::lock_guard<std::mutex> lock(shared->mutex);
            shared->ended = true;
        }
        wake();
        closesocket(waker);
    }).detach();
    return true;
}

std::vector<std::string> CommandInput::Take(bool& ended) {
    char datagram[16];
    while (recv(m_wake, datagram, sizeof datagram, 0) > 0) {
    }
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    std::vector<std::string> lines(m_shared->lines.begin(), m_shared->lines.end());
    m_shared->lines.clear();
    ended = m_shared->ended;
    return lines;
}
