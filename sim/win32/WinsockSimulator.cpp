#include "WinsockSimulator.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <vector>

#include "CommandInput.h"

namespace {

constexpr size_t kMaxClients = 32;
constexpr size_t kMaxUdpPeers = 256;
constexpr size_t kMaxCommandLine = 4096;
constexpr size_t kReadChunk = 4096;
constexpr int kMaxDatagramsPerWake = 64;
constexpr size_t kDatagramBuffer = 2048;
constexpr int kMaxPollWaitMs = 200; // how soon a Ctrl-C is seen
constexpr const char* kStrangerAddress = "127.0.0.2";

std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    interrupted = true;
    return TRUE;
}

std::string Endpoint(const sockaddr_in& address) {
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(address.sin_port));
}

uint32_t SeedFrom(const Options& options) {
    return options.seed ? *options.seed : std::random_device{}();
}

} // namespace

WinsockSimulator::WinsockSimulator(const Options& options)
    : m_options(options), m_console(options.quiet),
      m_board(options.coils, options.inputs, options.inputMode),
      m_motion(options.followMs, options.bouncing, options.bounceMs), m_faults(SeedFrom(options)),
      m_responder(m_board, options.addresses),
      m_handler(m_responder, m_faults, m_console, m_statistics), m_decoder(options.protocol),
      m_interpreter(m_board, m_faults, m_statistics), m_udpFramer(m_decoder) {
    m_board.SetPoints(options.points);
    WSADATA data;
    m_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockSimulator::~WinsockSimulator() {
    m_input.reset();
    for (const auto& [id, client] : m_clients)
        closesocket(client->socket);
    for (SOCKET s : {m_tcp, m_udp, m_stranger}) {
        if (s != INVALID_SOCKET)
            closesocket(s);
    }
    if (m_started)
        WSACleanup();
}

SOCKET WinsockSimulator::Open(int type, const std::string& address, uint16_t port,
                              std::string& endpoint) {
    const SOCKET s = socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return s;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    u_long nonBlocking = 1;
    int length = sizeof local;
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
        bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        (type == SOCK_STREAM && listen(s, SOMAXCONN) != 0) ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    endpoint = Endpoint(local);
    return s;
}

bool WinsockSimulator::Start() {
    if (!m_started) {
        Console::Error("Winsock did not start");
        return false;
    }
    const Clock::time_point now = Clock::now();
    for (const std::string& command : m_options.faultCommands) {
        const CommandInterpreter::Outcome outcome = m_interpreter.Execute(command, now);
        if (!outcome.ok) {
            Console::Error("fault option refused: " + outcome.reply);
            return false;
        }
    }
    std::string tcpEndpoint, udpEndpoint;
    if (m_options.tcpPort) {
        m_tcp = Open(SOCK_STREAM, m_options.bindAddress, *m_options.tcpPort, tcpEndpoint);
        if (m_tcp == INVALID_SOCKET) {
            Console::Error("cannot listen on TCP at " + m_options.bindAddress + ":" +
                           std::to_string(*m_options.tcpPort) + " (error " +
                           std::to_string(WSAGetLastError()) + ")");
            return false;
        }
    }
    if (m_options.udpPort) {
        m_udp = Open(SOCK_DGRAM, m_options.bindAddress, *m_options.udpPort, udpEndpoint);
        if (m_udp == INVALID_SOCKET) {
            Console::Error("cannot bind UDP at " + m_options.bindAddress + ":" +
                           std::to_string(*m_options.udpPort) + " (error " +
                           std::to_string(WSAGetLastError()) + ")");
            return false;
        }
        m_stranger = Open(SOCK_DGRAM, kStrangerAddress, 0, m_strangerEndpoint);
        if (m_stranger == INVALID_SOCKET)
            Console::Error("no stranger for the stranger fault: cannot bind " +
                           std::string(kStrangerAddress));
    }
    m_input = std::make_unique<CommandInput>();
    if (!m_input->Start()) {
        Console::Error("cannot read commands: no wake socket");
        return false;
    }
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    if (m_tcp != INVALID_SOCKET)
        m_console.Line("LISTEN tcp " + tcpEndpoint);
    if (m_udp != INVALID_SOCKET)
        m_console.Line("LISTEN udp " + udpEndpoint);
    m_console.Line("SEED " + std::to_string(m_faults.Seed()));
    m_console.Line("READY");
    m_nextWalk = now + std::chrono::milliseconds(m_options.walkMs);
    return true;
}

int WinsockSimulator::Run() {
    bool inputOpen = true;
    while (!m_quit && !interrupted) {
        std::vector<WSAPOLLFD> watched;
        std::vector<int> ids; // the client of each watched socket, 0 for the others
        auto watch = [&](SOCKET s, int id) {
            watched.push_back({s, POLLRDNORM, 0});
            ids.push_back(id);
        };
        if (inputOpen)
            watch(m_input->WakeSocket(), 0);
        if (m_tcp != INVALID_SOCKET)
            watch(m_tcp, 0);
        if (m_udp != INVALID_SOCKET)
            watch(m_udp, 0);
        for (const auto& [id, client] : m_clients)
            watch(client->socket, id);
        const int ready =
            WSAPoll(watched.data(), static_cast<ULONG>(watched.size()), PollTimeout(Clock::now()));
        if (ready == SOCKET_ERROR) {
            Console::Error("waiting failed (error " + std::to_string(WSAGetLastError()) + ")");
            return 1;
        }
        const Clock::time_point now = Clock::now();
        MoveInputs(now);
        bool commands = false;
        for (size_t i = 0; i < watched.size() && ready > 0; ++i) {
            if (watched[i].revents == 0)
                continue;
            if (ids[i] != 0)
                ReadClient(ids[i], now);
            else if (watched[i].fd == m_tcp)
                Accept(now);
            else if (watched[i].fd == m_udp)
                ReadUdp(now);
            else
                commands = true; // handled last, see below
        }
        MoveInputs(Clock::now());
        Deliver(Clock::now());
        CloseIdleClients(Clock::now());
        // Commands come after the traffic that arrived with them, so that the reply to a
        // command proves that every request received before it has been handled.
        if (commands) {
            bool ended = false;
            for (const std::string& line : m_input->Take(ended)) {
                if (line.size() > kMaxCommandLine) {
                    m_console.Line("ERR command line too long");
                    continue;
                }
                const CommandInterpreter::Outcome outcome = m_interpreter.Execute(line, now);
                m_quit = m_quit || outcome.quit;
                while (outcome.dropConnections && !m_clients.empty())
                    CloseClient(m_clients.begin()->first, "closed: the board restarts");
                if (!outcome.reply.empty())
                    m_console.Line(outcome.reply);
            }
            inputOpen = !ended; // without input the simulator serves on
            MoveInputs(Clock::now());
        }
    }
    return 0;
}

void WinsockSimulator::MoveInputs(Clock::time_point now) {
    if (m_board.Mode() == InputMode::Walk && now >= m_nextWalk) {
        m_board.Step();
        m_nextWalk += std::chrono::milliseconds(m_options.walkMs);
        if (m_nextWalk < now)
            m_nextWalk = now + std::chrono::milliseconds(m_options.walkMs);
    }
    if (!m_motion.Active())
        return;
    m_motion.Update(m_board.WiredInputWord(), now);
    m_board.ShowInputs(m_motion.Shown());
}

int WinsockSimulator::PollTimeout(Clock::time_point now) const {
    Clock::time_point wake = now + std::chrono::milliseconds(kMaxPollWaitMs);
    if (auto due = m_outbox.NextDue())
        wake = std::min(wake, *due);
    if (m_board.Mode() == InputMode::Walk)
        wake = std::min(wake, m_nextWalk);
    if (auto due = m_motion.NextDue())
        wake = std::min(wake, *due);
    if (const int idleMs = m_faults.Settings().idleCloseMs; idleMs > 0) {
        for (const auto& [id, client] : m_clients)
            wake = std::min(wake, client->lastRequest + std::chrono::milliseconds(idleMs));
    }
    if (wake <= now)
        return 0;
    // Rounded up: waking a little early would only spin.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wake - now).count());
}

void WinsockSimulator::Accept(Clock::time_point) {
    for (;;) {
        sockaddr_in peer{};
        int length = sizeof peer;
        const SOCKET s = accept(m_tcp, reinterpret_cast<sockaddr*>(&peer), &length);
        if (s == INVALID_SOCKET)
            return;
        const std::string where = "tcp " + Endpoint(peer);
        if (m_clients.size() >= kMaxClients) {
            m_console.Note(where, "refused: too many connections");
            closesocket(s);
            continue;
        }
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        m_console.Note(where, "connected");
        auto client = std::make_unique<Client>(s, where, m_decoder);
        client->lastRequest = Clock::now();
        m_clients.emplace(m_nextClientId++, std::move(client));
    }
}

void WinsockSimulator::ReadClient(int id, Clock::time_point now) {
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    Client& client = *it->second;
    char buffer[kReadChunk];
    const int n = recv(client.socket, buffer, sizeof buffer, 0);
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        return;
    if (n <= 0) {
        CloseClient(id,
                    n == 0 ? "disconnected" : "closed: error " + std::to_string(WSAGetLastError()));
        return;
    }
    client.lastRequest = now;
    client.framer.Append(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n), now);
    ServeStream(client, id, now);
}

void WinsockSimulator::CloseClient(int id, const std::string& why) {
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    m_console.Note(it->second->where, why);
    closesocket(it->second->socket);
    m_outbox.DropChannel(id);
    m_clients.erase(it);
}

void WinsockSimulator::CloseIdleClients(Clock::time_point now) {
    const int idleMs = m_faults.Settings().idleCloseMs;
    if (idleMs <= 0)
        return;
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        const int id = it->first;
        const bool idle = now - it->second->lastRequest >= std::chrono::milliseconds(idleMs);
        ++it;
        if (idle)
            CloseClient(id, "closed: idle for " + std::to_string(idleMs) + " ms");
    }
}

void WinsockSimulator::ReadUdp(Clock::time_point now) {
    char buffer[kDatagramBuffer];
    for (int count = 0; count < kMaxDatagramsPerWake; ++count) {
        sockaddr_in from{};
        int length = sizeof from;
        const int n =
            recvfrom(m_udp, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return;
        const std::string where = "udp " + Endpoint(from);
        if (static_cast<size_t>(n) > RequestDecoder::kMaxRequestLength) {
            m_statistics.discardedBytes += static_cast<uint64_t>(n);
            m_console.Note(where, "datagram of " + std::to_string(n) + " bytes ignored (too long)");
            continue;
        }
        const auto key = std::make_pair(static_cast<uint32_t>(from.sin_addr.s_addr),
                                        static_cast<uint16_t>(from.sin_port));
        if (m_udpPeers.size() >= kMaxUdpPeers && m_udpPeers.count(key) == 0)
            m_udpPeers.clear();
        PeerMemory& memory = m_udpPeers[key];
        // Each datagram stands alone: what is left of it is not joined to the next one.
        m_udpFramer.Append(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n), now);
        Request request;
        while (m_udpFramer.Next(request)) {
            ReportDiscarded(where, m_udpFramer.TakeDiscarded());
            for (ScheduledWrite& write : m_handler.Handle(request, where, Link::Udp, memory, now))
                m_outbox.Add(write.fromStranger ? kStrangerChannel : kUdpChannel, from,
                             std::move(write));
        }
        m_udpFramer.DropPending();
        ReportDiscarded(where, m_udpFramer.TakeDiscarded());
    }
}

void WinsockSimulator::ServeStream(Client& client, int id, Clock::time_point now) {
    Request request;
    while (client.framer.Next(request)) {
        ReportDiscarded(client.where, client.framer.TakeDiscarded());
        for (ScheduledWrite& write :
             m_handler.Handle(request, client.where, Link::Tcp, client.memory, now))
            m_outbox.Add(id, sockaddr_in{}, std::move(write));
    }
    ReportDiscarded(client.where, client.framer.TakeDiscarded());
}

void WinsockSimulator::ReportDiscarded(const std::string& where, size_t count) {
    if (count == 0)
        return;
    m_statistics.discardedBytes += count;
    m_console.Note(where, std::to_string(count) + " bytes discarded (no request)");
}

void WinsockSimulator::Deliver(Clock::time_point now) {
    for (Delivery& delivery : m_outbox.TakeDue(now)) {
        if (delivery.bytes.empty())
            continue;
        const char* bytes = reinterpret_cast<const char*>(delivery.bytes.data());
        const int size = static_cast<int>(delivery.bytes.size());
        if (delivery.channel == kUdpChannel || delivery.channel == kStrangerChannel) {
            const bool stranger = delivery.channel == kStrangerChannel;
            const SOCKET from = stranger ? m_stranger : m_udp;
            const std::string where = "udp " + Endpoint(delivery.peer);
            const bool sent =
                from != INVALID_SOCKET &&
                sendto(from, bytes, size, 0, reinterpret_cast<const sockaddr*>(&delivery.peer),
                       sizeof delivery.peer) == size;
            if (sent)
                m_console.Traffic(stranger ? where + " from " + m_strangerEndpoint : where, "TX",
                                  delivery.bytes);
            else
                m_console.Note(where, stranger ? "the stranger's answer was not sent"
                                               : "answer not sent: error " +
                                                     std::to_string(WSAGetLastError()));
            continue;
        }
        const auto it = m_clients.find(delivery.channel);
        if (it == m_clients.end())
            continue;
        if (send(it->second->socket, bytes, size, 0) == size) {
            m_console.Traffic(it->second->where, "TX", delivery.bytes);
        } else {
            // Answers are a few bytes; a connection that cannot take them has a peer that
            // stopped reading long ago.
            CloseClient(delivery.channel, "closed: the answer could not be written");
        }
    }
}
