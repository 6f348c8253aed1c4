#include "WinsockSimulator.h"

#include <ws2tcpip.h>

#include <atomic>
#include <cstdio>

namespace {

constexpr size_t kMaxClients = 32;
constexpr int kPollSliceMs = 200; // how soon a Ctrl-C is seen

std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    interrupted = true;
    return TRUE;
}

void Line(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void Error(const std::string& text) {
    std::fputs(("vornak-sim: " + text + "\n").c_str(), stderr);
    std::fflush(stderr);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, text.empty() ? "%02X" : " %02X", b);
        text += byte;
    }
    return text;
}

std::string Endpoint(const sockaddr_in& address) {
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(address.sin_port));
}

} // namespace

WinsockSimulator::WinsockSimulator(const WinsockOptions& options)
    : m_options(options), m_board(options.coils, options.inputs, options.inputMode),
      m_responder(m_board, options.addresses) {
    WSADATA data;
    m_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockSimulator::~WinsockSimulator() {
    for (const auto& client : m_clients)
        closesocket(client->socket);
    for (SOCKET s : {m_tcp, m_udp}) {
        if (s != INVALID_SOCKET)
            closesocket(s);
    }
    if (m_started)
        WSACleanup();
}

SOCKET WinsockSimulator::Listen(int type, int32_t port, std::string& endpoint) {
    const SOCKET s = socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return s;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, m_options.bindAddress.c_str(), &address.sin_addr) != 1 ||
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (type == SOCK_STREAM && listen(s, SOMAXCONN) != 0)) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    endpoint = Endpoint(address);
    return s;
}

bool WinsockSimulator::Start() {
    if (!m_started) {
        Error("Winsock did not start");
        return false;
    }
    const bool none = m_options.tcpPort < 0 && m_options.udpPort < 0;
    std::string endpoint;
    if (m_options.tcpPort >= 0 || none) {
        m_tcp =
            Listen(SOCK_STREAM, none ? WinsockOptions::kDefaultPort : m_options.tcpPort, endpoint);
        if (m_tcp == INVALID_SOCKET) {
            Error("cannot listen on TCP at " + m_options.bindAddress + " (error " +
                  std::to_string(WSAGetLastError()) + ")");
            return false;
        }
        Line("LISTEN tcp " + endpoint);
    }
    if (m_options.udpPort >= 0 || none) {
        m_udp =
            Listen(SOCK_DGRAM, none ? WinsockOptions::kDefaultPort : m_options.udpPort, endpoint);
        if (m_udp == INVALID_SOCKET) {
            Error("cannot bind UDP at " + m_options.bindAddress + " (error " +
                  std::to_string(WSAGetLastError()) + ")");
            return false;
        }
        Line("LISTEN udp " + endpoint);
    }
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    Line("READY");
    return true;
}

int WinsockSimulator::Run() {
    while (!interrupted) {
        std::vector<WSAPOLLFD> watched;
        for (SOCKET s : {m_tcp, m_udp}) {
            if (s != INVALID_SOCKET)
                watched.push_back({s, POLLRDNORM, 0});
        }
        for (const auto& client : m_clients)
            watched.push_back({client->socket, POLLRDNORM, 0});
        const int ready = WSAPoll(watched.data(), static_cast<ULONG>(watched.size()), kPollSliceMs);
        if (ready == SOCKET_ERROR) {
            Error("waiting failed (error " + std::to_string(WSAGetLastError()) + ")");
            return 1;
        }
        // Clients first, by the order they were watched in; a new one joins next round.
        for (size_t i = 0, first = watched.size() - m_clients.size(); i < m_clients.size();) {
            const short events = watched[first + i].revents;
            if (events != 0 && !Serve(*m_clients[i])) {
                closesocket(m_clients[i]->socket);
                Line("CLOSE " + m_clients[i]->where);
                m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(i));
                watched.erase(watched.begin() + static_cast<std::ptrdiff_t>(first + i));
                continue;
            }
            ++i;
        }
        for (const WSAPOLLFD& w : watched) {
            if (w.revents == 0)
                continue;
            if (w.fd == m_tcp)
                Accept();
            else if (w.fd == m_udp)
                ServeDatagram();
        }
    }
    Line("BYE");
    return 0;
}

void WinsockSimulator::Accept() {
    sockaddr_in peer{};
    int length = sizeof peer;
    const SOCKET s = accept(m_tcp, reinterpret_cast<sockaddr*>(&peer), &length);
    if (s == INVALID_SOCKET)
        return;
    if (m_clients.size() >= kMaxClients) {
        closesocket(s);
        return;
    }
    m_clients.push_back(std::make_unique<Client>(s, "tcp " + Endpoint(peer), m_decoder));
    Line("OPEN " + m_clients.back()->where);
}

bool WinsockSimulator::Serve(Client& client) {
    uint8_t buffer[512];
    const int got = recv(client.socket, reinterpret_cast<char*>(buffer), sizeof buffer, 0);
    if (got <= 0)
        return false;
    client.framer.Append(buffer, static_cast<size_t>(got), std::chrono::steady_clock::now());
    Request request;
    while (client.framer.Next(request)) {
        const std::vector<uint8_t> answer = Answer(request, client.where);
        size_t sent = 0;
        while (sent < answer.size()) {
            const int n = send(client.socket, reinterpret_cast<const char*>(answer.data() + sent),
                               static_cast<int>(answer.size() - sent), 0);
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
    }
    return true;
}

void WinsockSimulator::ServeDatagram() {
    uint8_t buffer[512];
    sockaddr_in peer{};
    int length = sizeof peer;
    const int got = recvfrom(m_udp, reinterpret_cast<char*>(buffer), sizeof buffer, 0,
                             reinterpret_cast<sockaddr*>(&peer), &length);
    if (got <= 0)
        return;
    // Each datagram is whole by itself: what is left of it is dropped.
    StreamFramer framer(m_decoder);
    framer.Append(buffer, static_cast<size_t>(got), std::chrono::steady_clock::now());
    Request request;
    while (framer.Next(request)) {
        const std::vector<uint8_t> answer = Answer(request, "udp " + Endpoint(peer));
        if (!answer.empty()) {
            sendto(m_udp, reinterpret_cast<const char*>(answer.data()),
                   static_cast<int>(answer.size()), 0, reinterpret_cast<sockaddr*>(&peer),
                   sizeof peer);
        }
    }
}

std::vector<uint8_t> WinsockSimulator::Answer(const Request& request, const std::string& where) {
    if (!m_options.quiet)
        Line("RX " + Hex(request.frame) + " (" + where + ")");
    const Response response = m_responder.Handle(request);
    if (!response.answered) {
        if (!m_options.quiet)
            Line("SILENT " + response.silentReason);
        return {};
    }
    if (!m_options.quiet)
        Line("TX " + Hex(response.bytes));
    return response.bytes;
}
