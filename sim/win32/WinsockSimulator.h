#pragma once

#include <winsock2.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "AddressList.h"
#include "Board.h"
#include "RequestDecoder.h"
#include "Responder.h"
#include "StreamFramer.h"

// What vornak-sim.exe takes from its command line.
struct WinsockOptions {
    AddressSet addresses = AddressSet().set(1);
    std::string bindAddress = "127.0.0.1";
    int32_t tcpPort = -1; // -1: none; 0: any free port
    int32_t udpPort = -1;
    uint32_t coils = 0;
    uint32_t inputs = 0;
    InputMode inputMode = InputMode::Fixed;
    bool quiet = false;
    // Listeners used when the command line names none (as on Linux).
    static constexpr uint16_t kDefaultPort = 1502;
};

// The simulated board on Windows: the same board, decoder and responder as on Linux,
// served over a TCP listener and a UDP socket with one WSAPoll loop. It answers every
// request at once and cleanly; the fault injection, the pseudo-terminal, the walking
// input and the command channels are the Linux simulator's only.
class WinsockSimulator {
public:
    explicit WinsockSimulator(const WinsockOptions& options);
    ~WinsockSimulator();
    WinsockSimulator(const WinsockSimulator&) = delete;
    WinsockSimulator& operator=(const WinsockSimulator&) = delete;

    // Opens the listeners the options ask for and prints the LISTEN and READY lines.
    // False, with the reason on standard error, when one cannot be opened.
    bool Start();
    // Serves until Ctrl-C or Ctrl-Break: 0, or 1 when waiting failed.
    int Run();

private:
    struct Client {
        SOCKET socket = INVALID_SOCKET;
        std::string where;
        StreamFramer framer;
        Client(SOCKET socket, std::string where, const RequestDecoder& decoder)
            : socket(socket), where(std::move(where)), framer(decoder) {}
    };

    SOCKET Listen(int type, int32_t port, std::string& endpoint);
    void Accept();
    // False when the connection has ended.
    bool Serve(Client& client);
    void ServeDatagram();
    // The answer to one request, logged; empty when the board stays silent.
    std::vector<uint8_t> Answer(const Request& request, const std::string& where);

    WinsockOptions m_options;
    Board m_board;
    RequestDecoder m_decoder;
    Responder m_responder;
    bool m_started = false; // WSAStartup succeeded
    SOCKET m_tcp = INVALID_SOCKET;
    SOCKET m_udp = INVALID_SOCKET;
    std::vector<std::unique_ptr<Client>> m_clients;
};
