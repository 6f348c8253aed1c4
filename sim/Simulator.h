#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <vector>

#include "Board.h"
#include "CommandInterpreter.h"
#include "Console.h"
#include "ControlServer.h"
#include "FaultInjector.h"
#include "InputMotion.h"
#include "Options.h"
#include "Outbox.h"
#include "PtyPort.h"
#include "RequestDecoder.h"
#include "RequestHandler.h"
#include "Responder.h"
#include "Statistics.h"
#include "StreamFramer.h"
#include "TcpServer.h"
#include "UdpEndpoint.h"
#include "UniqueFd.h"

// The simulator's single-threaded event loop: one poll() over the signal descriptor,
// standard input, the listeners, every TCP connection and every control connection, with
// the walking input and the delayed answers as timers.
class Simulator {
public:
    using Clock = std::chrono::steady_clock;

    explicit Simulator(const Options &options);

    // Opens every listener the options ask for and prints the LISTEN, SEED and READY
    // lines. False, with the reason on standard error, when one cannot be opened or a
    // fault option is refused.
    bool Start();
    // Serves until SIGINT, SIGTERM or the quit command: 0, or 1 when waiting failed.
    int Run();

private:
    // A stream peer: a TCP connection or the pseudo-terminal.
    struct StreamChannel {
        UniqueFd fd; // empty for the pseudo-terminal, which PtyPort owns
        std::string where;
        StreamFramer framer;
        PeerMemory memory;
        Clock::time_point lastRequest{}; // TCP: when the peer last sent something
        StreamChannel(const RequestDecoder &decoder, std::string where)
            : where(std::move(where)), framer(decoder) {}
    };

    static constexpr int kPtyChannel = -1;
    static constexpr int kUdpChannel = -2;
    static constexpr int kStrangerChannel = -3; // UDP from another host's address
    static constexpr size_t kMaxClients = 32;
    static constexpr size_t kMaxUdpPeers = 256;

    bool OpenSignals();
    void ReadStandardInput(Clock::time_point now);
    void ReadControl(int id, Clock::time_point now);
    // Carries out one command line: its reply, empty for none.
    std::string RunCommand(const std::string &line, Clock::time_point now);
    void AcceptClients();
    void ReadClient(int id, Clock::time_point now);
    void CloseClient(int id, const std::string &why);
    // Closes the TCP connections idle for the idle-close time, as such a gateway does.
    void CloseIdleClients(Clock::time_point now);
    void ReadPty(Clock::time_point now);
    void ReadUdp(Clock::time_point now);
    void ServeStream(StreamChannel &channel, int id, Link link, Clock::time_point now);
    void Deliver(Clock::time_point now);
    void ReportDiscarded(const std::string &where, size_t count);
    int PollTimeout(Clock::time_point now) const;
    // Shows the inputs' moves due by now and starts those of inputs whose wiring changed.
    void MoveInputs(Clock::time_point now);

    Options options;
    Console console;
    Board board;
    InputMotion motion;
    FaultInjector faults;
    Statistics statistics;
    Responder responder;
    RequestHandler handler;
    RequestDecoder decoder;
    CommandInterpreter interpreter;
    Outbox outbox;

    UniqueFd signals;
    std::optional<TcpServer> tcp;
    std::optional<UdpEndpoint> udp;
    std::optional<UdpEndpoint> stranger; // another host on the network, for the stranger fault
    std::unique_ptr<PtyPort> pty;
    std::unique_ptr<ControlServer> control;
    std::unique_ptr<StreamChannel> ptyChannel;
    std::map<int, std::unique_ptr<StreamChannel>> clients;
    int nextClientId = 1;
    StreamFramer udpFramer;
    std::map<std::pair<uint32_t, uint16_t>, PeerMemory> udpPeers;

    bool stdinOpen = true;
    std::string stdinLine;
    bool quit = false;
    Clock::time_point nextWalk{};
};
