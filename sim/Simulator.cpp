#include "Simulator.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <random>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "SocketAddress.h"

namespace {

constexpr size_t kReadChunk = 4096;
constexpr size_t kMaxCommandLine = 4096;
constexpr int kMaxPollWaitMs = 1000;
constexpr int kMaxDatagramsPerWake = 64;
constexpr size_t kDatagramBuffer = 2048;
constexpr const char *kStrangerAddress = "127.0.0.2";

uint32_t SeedFrom(const Options &options) {
    return options.seed ? *options.seed : std::random_device{}();
}

} // namespace

Simulator::Simulator(const Options &options)
    : options(options), console(options.quiet),
      board(options.coils, options.inputs, options.inputMode),
      motion(options.followMs, options.bouncing, options.bounceMs), faults(SeedFrom(options)),
      responder(board, options.addresses), handler(responder, faults, console, statistics),
      decoder(options.protocol), interpreter(board, faults, statistics), udpFramer(decoder) {
    board.SetPoints(options.points);
}

bool Simulator::OpenSignals() {
    // The signals arrive as readable data on a descriptor, so the one poll() below
    // sees them; no handler runs asynchronously.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
        return false;
    signals.Reset(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    return signals.Valid();
}

bool Simulator::Start() {
    // A reader of standard output that goes away must not kill the simulator.
    std::signal(SIGPIPE, SIG_IGN);
    if (!OpenSignals()) {
        Console::Error(std::string("cannot watch for signals: ") + std::strerror(errno));
        return false;
    }
    const Clock::time_point now = Clock::now();
    for (const std::string &command : options.faultCommands) {
        CommandInterpreter::Outcome outcome = interpreter.Execute(command, now);
        if (!outcome.ok) {
            Console::Error("fault option refused: " + outcome.reply);
            return false;
        }
    }

    std::string error;
    if (options.tcpPort) {
        tcp.emplace();
        if (!tcp->Listen(options.bindAddress, *options.tcpPort, error)) {
            Console::Error(error);
            return false;
        }
    }
    if (options.udpPort) {
        udp.emplace();
        if (!udp->Bind(options.bindAddress, *options.udpPort, error)) {
            Console::Error(error);
            return false;
        }
        // Any loopback address is this machine's, so another one needs no setup on Linux.
        stranger.emplace();
        if (!stranger->Bind(kStrangerAddress, 0, error)) {
            Console::Error("no stranger for the stranger fault: " + error);
            stranger.reset();
        }
    }
    if (options.pty) {
        pty = std::make_unique<PtyPort>();
        if (!pty->Open(options.linkPath, error)) {
            Console::Error(error);
            pty.reset();
            return false;
        }
        ptyChannel = std::make_unique<StreamChannel>(decoder, "pty");
    }
    if (!options.controlPath.empty()) {
        control = std::make_unique<ControlServer>();
        if (!control->Listen(options.controlPath, error)) {
            Console::Error(error);
            control.reset();
            return false;
        }
    }

    if (tcp)
        console.Line("LISTEN tcp " + tcp->Endpoint());
    if (udp)
        console.Line("LISTEN udp " + udp->Endpoint());
    if (pty) {
        std::string line = "LISTEN pty " + pty->SlavePath();
        if (!pty->LinkPath().empty())
            line += " " + pty->LinkPath();
        console.Line(line);
    }
    if (control)
        console.Line("LISTEN control " + control->Path());
    console.Line("SEED " + std::to_string(faults.Seed()));
    console.Line("READY");
    nextWalk = now + std::chrono::milliseconds(options.walkMs);
    return true;
}

int Simulator::Run() {
    enum class Source { Signal, Input, Listener, Client, Pty, Udp, Control, ControlClient };
    std::vector<pollfd> fds;
    std::vector<std::pair<Source, int>> sources;
    while (!quit) {
        fds.clear();
        sources.clear();
        auto watch = [&](int fd, Source source, int id) {
            fds.push_back(pollfd{fd, POLLIN, 0});
            sources.emplace_back(source, id);
        };
        watch(signals.Get(), Source::Signal, 0);
        if (stdinOpen)
            watch(STDIN_FILENO, Source::Input, 0);
        if (tcp)
            watch(tcp->Fd(), Source::Listener, 0);
        for (const auto &[id, client] : clients)
            watch(client->fd.Get(), Source::Client, id);
        if (pty)
            watch(pty->Fd(), Source::Pty, 0);
        if (udp)
            watch(udp->Fd(), Source::Udp, 0);
        if (control) {
            watch(control->Fd(), Source::Control, 0);
            for (const auto &[id, fd] : control->Connections())
                watch(fd, Source::ControlClient, id);
        }

        int ready = ::poll(fds.data(), fds.size(), PollTimeout(Clock::now()));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            Console::Error(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        const Clock::time_point now = Clock::now();
        MoveInputs(now);
        bool inputReady = false;
        std::vector<int> controlReady;
        for (size_t i = 0; i < fds.size() && ready > 0; ++i) {
            if (fds[i].revents == 0)
                continue;
            switch (sources[i].first) {
            case Source::Signal:
                quit = true;
                break;
            case Source::Input:
                inputReady = true; // handled last, see below
                break;
            case Source::Listener:
                AcceptClients();
                break;
            case Source::Client:
                ReadClient(sources[i].second, now);
                break;
            case Source::Pty:
                ReadPty(now);
                break;
            case Source::Udp:
                ReadUdp(now);
                break;
            case Source::Control:
                control->Accept();
                break;
            case Source::ControlClient:
                controlReady.push_back(sources[i].second); // handled last, like standard input
                break;
            }
        }
        if (board.Mode() == InputMode::Walk && now >= nextWalk) {
            board.Step();
            nextWalk += std::chrono::milliseconds(options.walkMs);
            if (nextWalk < now)
                nextWalk = now + std::chrono::milliseconds(options.walkMs);
        }
        MoveInputs(Clock::now());
        Deliver(Clock::now());
        CloseIdleClients(Clock::now());
        // Commands come after the traffic that arrived with them, so that the reply to
        // a command proves that every request received before it has been handled.
        if (inputReady)
            ReadStandardInput(now);
        for (int id : controlReady)
            ReadControl(id, now);
        MoveInputs(Clock::now());
    }
    if (pty)
        pty->RemoveLink();
    return 0;
}

void Simulator::MoveInputs(Clock::time_point now) {
    if (!motion.Active())
        return;
    motion.Update(board.WiredInputWord(), now);
    board.ShowInputs(motion.Shown());
}

int Simulator::PollTimeout(Clock::time_point now) const {
    Clock::time_point wake = now + std::chrono::milliseconds(kMaxPollWaitMs);
    if (auto due = outbox.NextDue())
        wake = std::min(wake, *due);
    if (board.Mode() == InputMode::Walk)
        wake = std::min(wake, nextWalk);
    const int idleMs = faults.Settings().idleCloseMs;
    for (const auto &client : clients) {
        if (idleMs > 0)
            wake = std::min(wake, client.second->lastRequest + std::chrono::milliseconds(idleMs));
    }
    if (auto due = motion.NextDue())
        wake = std::min(wake, *due);
    if (wake <= now)
        return 0;
    // Rounded up: waking a little early would only spin.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wake - now).count());
}

void Simulator::ReadStandardInput(Clock::time_point now) {
    char buffer[1024];
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n > 0) {
        stdinLine.append(buffer, static_cast<size_t>(n));
    } else {
        // End of input (or a broken one): keep serving, just stop listening to it; a
        // last line without its newline still counts.
        stdinOpen = false;
        if (!stdinLine.empty())
            stdinLine += '\n';
    }
    size_t newline;
    while ((newline = stdinLine.find('\n')) != std::string::npos) {
        std::string line = stdinLine.substr(0, newline);
        stdinLine.erase(0, newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string reply = RunCommand(line, now);
        if (!reply.empty())
            console.Line(reply);
    }
    if (stdinLine.size() > kMaxCommandLine) {
        stdinLine.clear();
        console.Line("ERR command line too long");
    }
}

void Simulator::ReadControl(int id, Clock::time_point now) {
    std::vector<std::string> lines;
    const bool open = control->Read(id, lines);
    for (const std::string &line : lines) {
        console.Note("control", line);
        const std::string reply = RunCommand(line, now);
        if (!reply.empty())
            control->Reply(id, reply);
    }
    if (!open)
        control->Close(id);
}

std::string Simulator::RunCommand(const std::string &line, Clock::time_point now) {
    CommandInterpreter::Outcome outcome = interpreter.Execute(line, now);
    if (outcome.quit)
        quit = true;
    if (outcome.dropConnections) {
        while (!clients.empty())
            CloseClient(clients.begin()->first, "closed: the board restarts");
    }
    return outcome.reply;
}

void Simulator::AcceptClients() {
    for (;;) {
        std::string peer;
        UniqueFd fd = tcp->Accept(peer);
        if (!fd.Valid())
            return;
        const std::string where = "tcp " + peer;
        if (clients.size() >= kMaxClients) {
            console.Note(where, "refused: too many connections");
            continue; // closed by fd's destructor
        }
        auto channel = std::make_unique<StreamChannel>(decoder, where);
        channel->fd = std::move(fd);
        channel->lastRequest = Clock::now();
        console.Note(where, "connected");
        clients.emplace(nextClientId++, std::move(channel));
    }
}

void Simulator::ReadClient(int id, Clock::time_point now) {
    auto it = clients.find(id);
    if (it == clients.end())
        return;
    StreamChannel &channel = *it->second;
    uint8_t buffer[kReadChunk];
    ssize_t n = ::recv(channel.fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        CloseClient(id, n == 0 ? "disconnected" : std::string("closed: ") + std::strerror(errno));
        return;
    }
    channel.lastRequest = now;
    channel.framer.Append(buffer, static_cast<size_t>(n), now);
    ServeStream(channel, id, Link::Tcp, now);
}

void Simulator::CloseIdleClients(Clock::time_point now) {
    const int idleMs = faults.Settings().idleCloseMs;
    if (idleMs <= 0)
        return;
    for (auto it = clients.begin(); it != clients.end();) {
        const int id = it->first;
        const bool idle = now - it->second->lastRequest >= std::chrono::milliseconds(idleMs);
        ++it;
        if (idle)
            CloseClient(id, "closed: idle for " + std::to_string(idleMs) + " ms");
    }
}

void Simulator::CloseClient(int id, const std::string &why) {
    auto it = clients.find(id);
    if (it == clients.end())
        return;
    console.Note(it->second->where, why);
    outbox.DropChannel(id);
    clients.erase(it);
}

void Simulator::ReadPty(Clock::time_point now) {
    uint8_t buffer[kReadChunk];
    ssize_t n = pty->Read(buffer, sizeof buffer);
    if (n <= 0)
        return;
    termios port{};
    if (options.line && pty->PortSettings(port) && !options.line->Matches(port)) {
        // Framed at other settings, the bits reach the board as noise.
        ptyChannel->framer.DropPending();
        ReportDiscarded("pty", ptyChannel->framer.TakeDiscarded() + static_cast<size_t>(n));
        console.Note("pty", "the port is set to " + LineSettings::Text(port) + ", the board to " +
                                options.line->Text());
        return;
    }
    ptyChannel->framer.Append(buffer, static_cast<size_t>(n), now);
    ServeStream(*ptyChannel, kPtyChannel, Link::Pty, now);
}

void Simulator::ReadUdp(Clock::time_point now) {
    uint8_t buffer[kDatagramBuffer];
    for (int count = 0; count < kMaxDatagramsPerWake; ++count) {
        sockaddr_in from{};
        ssize_t n = udp->Receive(buffer, sizeof buffer, from);
        if (n < 0)
            return;
        const std::string where = "udp " + SocketAddressText(from);
        if (static_cast<size_t>(n) > RequestDecoder::kMaxRequestLength) {
            statistics.discardedBytes += static_cast<uint64_t>(n);
            console.Note(where, "datagram of " + std::to_string(n) + " bytes ignored (too long)");
            continue;
        }
        auto key = std::make_pair(from.sin_addr.s_addr, from.sin_port);
        if (udpPeers.size() >= kMaxUdpPeers && udpPeers.count(key) == 0)
            udpPeers.clear();
        PeerMemory &memory = udpPeers[key];

        // Each datagram stands alone: what is left of it is not joined to the next one.
        udpFramer.Append(buffer, static_cast<size_t>(n), now);
        Request request;
        while (udpFramer.Next(request)) {
            ReportDiscarded(where, udpFramer.TakeDiscarded());
            for (ScheduledWrite &write : handler.Handle(request, where, Link::Udp, memory, now)) {
                outbox.Add(write.fromStranger ? kStrangerChannel : kUdpChannel, from,
                           std::move(write));
            }
        }
        udpFramer.DropPending();
        ReportDiscarded(where, udpFramer.TakeDiscarded());
    }
}

void Simulator::ServeStream(StreamChannel &channel, int id, Link link, Clock::time_point now) {
    Request request;
    while (channel.framer.Next(request)) {
        ReportDiscarded(channel.where, channel.framer.TakeDiscarded());
        for (ScheduledWrite &write :
             handler.Handle(request, channel.where, link, channel.memory, now)) {
            outbox.Add(id, sockaddr_in{}, std::move(write));
        }
    }
    ReportDiscarded(channel.where, channel.framer.TakeDiscarded());
}

void Simulator::ReportDiscarded(const std::string &where, size_t count) {
    if (count == 0)
        return;
    statistics.discardedBytes += count;
    console.Note(where, std::to_string(count) + " bytes discarded (no request)");
}

void Simulator::Deliver(Clock::time_point now) {
    std::vector<Delivery> due = outbox.TakeDue(now);
    // A serial line has no packet boundaries: bytes paced one by one that are due by now
    // go out in one write (and one traffic line).
    for (size_t i = 1; i < due.size(); ++i) {
        if (due[i].channel == kPtyChannel && due[i - 1].channel == kPtyChannel) {
            due[i].bytes.insert(due[i].bytes.begin(), due[i - 1].bytes.begin(),
                                due[i - 1].bytes.end());
            due[i - 1].bytes.clear();
        }
    }
    for (Delivery &delivery : due) {
        if (delivery.bytes.empty())
            continue;
        if (delivery.channel == kStrangerChannel) {
            const std::string where = "udp " + SocketAddressText(delivery.peer);
            if (stranger && stranger->Send(delivery.bytes, delivery.peer)) {
                console.Traffic(where + " from " + stranger->Endpoint(), "TX", delivery.bytes);
            } else {
                console.Note(where, "the stranger's answer was not sent");
            }
            continue;
        }
        if (delivery.channel == kUdpChannel) {
            const std::string where = "udp " + SocketAddressText(delivery.peer);
            if (udp->Send(delivery.bytes, delivery.peer)) {
                console.Traffic(where, "TX", delivery.bytes);
            } else {
                console.Note(where, std::string("answer not sent: ") + std::strerror(errno));
            }
            continue;
        }
        if (delivery.channel == kPtyChannel) {
            if (pty->Write(delivery.bytes)) {
                console.Traffic("pty", "TX", delivery.bytes);
            } else {
                console.Note("pty", "answer not written (nobody reads the serial port)");
            }
            continue;
        }
        auto it = clients.find(delivery.channel);
        if (it == clients.end())
            continue;
        StreamChannel &channel = *it->second;
        ssize_t n = ::send(channel.fd.Get(), delivery.bytes.data(), delivery.bytes.size(),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == static_cast<ssize_t>(delivery.bytes.size())) {
            console.Traffic(channel.where, "TX", delivery.bytes);
        } else {
            // Answers are a few bytes; a connection that cannot take them has a peer
            // that stopped reading long ago.
            CloseClient(delivery.channel, "closed: the answer could not be written");
        }
    }
}
