#pragma once

#include <winsock2.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Board.h"
#include "CommandInterpreter.h"
#include "Console.h"
#include "FaultInjector.h"
#include "InputMotion.h"
#include "Options.h"
#include "Outbox.h"
#include "RequestDecoder.h"
#include "RequestHandler.h"
#include "Responder.h"
#include "Statistics.h"
#include "StreamFramer.h"

class CommandInput;

// The simulated board on Windows: the Linux simulator's board, faults, answer pacing,
// command interpreter, input motion and traffic lines, served over a TCP listener and a UDP socket
// by one WSAPoll loop, with the delayed answers and the walking input as timers and the commands
// read from standard input. The pseudo-terminal and the control socket are Linux's.
class WinsockSimulator {
public:
    using Clock = std::chrono::steady_clock;

    explicit WinsockSimulator(const Options& options);
    ~WinsockSimulator();
    WinsockSimulator(const WinsockSimulator&) = delete;
    WinsockSimulator& operator=(const WinsockSimulator&) = delete;

    // Runs the fault options, opens the listeners the options ask for and prints the LISTEN,
    // SEED and READY lines. False, with the reason on standard error, when Winsock or a
    // listener cannot be opened or a fault option is refused.
    bool Start();
    // Serves until Ctrl-C, Ctrl-Break or the quit command: 0, or 1 when waiting failed.
    int Run();

private:
    struct Client {
        SOCKET socket = INVALID_SOCKET;
        std::string where;
        StreamFramer framer;
        PeerMemory memory;
        Clock::time_point lastRequest{}; // when the peer last sent something
        Client(SOCKET socket, std::string where, const RequestDecoder& decoder)
            : socket(socket), where(std::move(where)), framer(decoder) {}
    };

    static constexpr int kUdpChannel = -2;
    static constexpr int kStrangerChannel = -3; // UDP from another loopback address

    SOCKET Open(int type, const std::string& address, uint16_t port, std::string& endpoint);
    void Accept(Clock::time_point now);
    void ReadClient(int id, Clock::time_point now);
    void CloseClient(int id, const std::string& why);
    // Closes the connections idle for the idle-close time, as such a gateway does.
    void CloseIdleClients(Clock::time_point now);
    void ReadUdp(Clock::time_point now);
    void ServeStream(Client& client, int id, Clock::time_point now);
    void Deliver(Clock::time_point now);
    void RunCommands(Clock::time_point now);
    void ReportDiscarded(const std::string& where, size_t count);
    int PollTimeout(Clock::time_point now) const;
    // The walking input's step and the inputs' late and bouncing moves due by now.
    void MoveInputs(Clock::time_point now);

    Options m_options;
    Console m_console;
    Board m_board;
    InputMotion m_motion;
    FaultInjector m_faults;
    Statistics m_statistics;
    Responder m_responder;
    RequestHandler m_handler;
    RequestDecoder m_decoder;
    CommandInterpreter m_interpreter;
    Outbox m_outbox;

    bool m_started = false; // WSAStartup succeeded
    SOCKET m_tcp = INVALID_SOCKET;
    SOCKET m_udp = INVALID_SOCKET;
    SOCKET m_stranger = INVALID_SOCKET;
    std::string m_strangerEndpoint;
    std::unique_ptr<CommandInput> m_input;
    std::map<int, std::unique_ptr<Client>> m_clients;
    int m_nextClientId = 1;
    StreamFramer m_udpFramer;
    std::map<std::pair<uint32_t, uint16_t>, PeerMemory> m_udpPeers;
    bool m_quit = false;
    Clock::time_point m_nextWalk{};
};
