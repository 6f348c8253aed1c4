// The simulator as a program, from the outside: libmodbus, an independent client, gets what
// it expects; garbage, oversized and partial input is ignored over every transport; each
// option does what it says; bad options and commands are refused with a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <modbus/modbus.h>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "comm/Deadline.h"
#include "support/LoopbackSocket.h"
#include "support/SimProcess.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A plain client of a running simulator, for tests that look at the bytes on the wire: a
// loopback socket to its TCP port or its UDP port (not connected, as a UDP client that takes
// datagrams from any host is), or its pseudo-terminal in raw mode.
class WireClient {
public:
    enum class Kind { Tcp, Udp, Serial };
    ~WireClient() { ::close(fd); }

    bool Open(Kind kind, const SimProcess& sim) {
        if (kind != Kind::Serial) {
            socket.emplace(kind == Kind::Tcp);
            udpPort = kind == Kind::Udp ? sim.UdpPort() : 0;
            return kind == Kind::Udp ? socket->Port() != 0 : socket->Connect(sim.TcpPort(), 2000);
        }
        fd = ::open(sim.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        if (fd < 0 || ::tcgetattr(fd, &raw) != 0)
            return false;
        ::cfmakeraw(&raw);
        return ::tcsetattr(fd, TCSANOW, &raw) == 0;
    }

    // The serial line's rate and stop bits, with even parity.
    bool SetLine(speed_t speed, bool twoStopBits) {
        termios line{};
        if (::tcgetattr(fd, &line) != 0 || ::cfsetspeed(&line, speed) != 0)
            return false;
        line.c_cflag = (line.c_cflag & ~(PARODD | CSTOPB)) | PARENB | (twoStopBits ? CSTOPB : 0);
        return ::tcsetattr(fd, TCSANOW, &line) == 0;
    }

    // One write (UDP: one datagram) of all the bytes.
    bool Send(const Bytes& bytes) {
        return socket ? socket->Send(bytes, udpPort)
                      : ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }

    // Reads until `count` bytes have come or timeoutMs has passed: what came. A count of 1
    // takes the bytes of the first read (UDP: one datagram), from the host put in *host.
    Bytes Receive(size_t count, int timeoutMs, uint32_t* host = nullptr) {
        Bytes received, piece(4096);
        const Deadline deadline(timeoutMs);
        pollfd watch{fd, POLLIN, 0};
        for (ssize_t n; received.size() < count &&
                        (n = socket ? socket->Receive(piece, nullptr, deadline.RemainingMs(), host)
                             : ::poll(&watch, 1, deadline.RemainingMs()) > 0
                                 ? ::read(fd, piece.data(), piece.size())
                                 : -1) > 0;)
            received.insert(received.end(), piece.begin(), piece.begin() + n);
        return received;
    }

    Bytes Exchange(const Bytes& request, size_t count, int timeoutMs = 2000) {
        return Send(request) ? Receive(count, timeoutMs) : Bytes{};
    }

private:
    std::optional<LoopbackSocket> socket;
    int fd = -1;
    uint16_t udpPort = 0; // where each datagram goes
};

using Clock = std::chrono::steady_clock;
using Kind = WireClient::Kind;
const char* const kKindNames[] = {"Tcp", "Udp", "Serial"};

// With coils 0-3 and 31 on.
const uint32_t kCoils = 0x8000000F;
const Bytes kRtuReadCoils{0x01, 0x01, 0x00, 0x00, 0x00, 0x20, 0x3D, 0xD2};
const Bytes kRtuCoilsAnswer{0x01, 0x01, 0x04, 0x0F, 0x00, 0x00, 0x80, 0xF9, 0x65};
const Bytes kRtuCoil3On{0x01, 0x05, 0x00, 0x03, 0xFF, 0x00, 0x7C, 0x3A};
const Bytes k55ReadStatus{0x55, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x66};
const Bytes k55StatusAnswer{0x22, 0x01, 0x10, 0x80, 0x00, 0x00, 0x0F, 0xC2};

// Starts `sim` as a board with coils 0-3 and 31 on, on every transport, with `options`, and
// opens `client` to it over `kind`.
bool StartBoard(SimProcess& sim, WireClient& client, Kind kind,
                const std::vector<std::string>& options = {}) {
    return StartOnEveryLink(sim, {"--coils", "8000000F"}, options) && client.Open(kind, sim);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// An MBAP read of all 32 coils (function 1) or inputs (2), and the answer to a coil read
// (coils 0-3 and 31 on), at device address `unit`; a write of coil K ON, which its answer echoes.
Bytes TcpRead(uint16_t id, uint8_t function = 1, uint8_t unit = 1) {
    return {uint8_t(id >> 8), uint8_t(id), 0, 0, 0, 6, unit, function, 0, 0, 0, 0x20};
}
Bytes TcpCoilsAnswer(uint16_t id, uint8_t unit = 1) {
    return {uint8_t(id >> 8), uint8_t(id), 0, 0, 0, 7, unit, 1, 4, 0x0F, 0, 0, 0x80};
}
Bytes TcpCoilOn(uint8_t coil) {
    return {0, coil, 0, 0, 0, 6, 1, 5, 0, coil, 0xFF, 0};
}

class SimWire : public ::testing::TestWithParam<Kind> {};
class SimLibmodbus : public ::testing::TestWithParam<bool> {}; // true: TCP, false: RTU

// The errno of a call that failed, 0 when it did not.
int Refused(int result) {
    return result == -1 ? errno : 0;
}

} // namespace

TEST_P(SimWire, AnswersBackToBackAndIgnoresGarbageOversizedAndPartialInput) {
    const Kind kind = GetParam();
    SimProcess sim{VORNAK_SIM_PATH};
    WireClient client;
    ASSERT_TRUE(StartBoard(sim, client, kind)) << sim.ErrorOutput();
    // Requests back to back in one write get one answer each (over UDP one datagram each).
    ASSERT_TRUE(client.Send(Join({kRtuReadCoils, k55ReadStatus, TcpRead(1)})));
    const Bytes answers[] = {kRtuCoilsAnswer, k55StatusAnswer, TcpCoilsAnswer(1)};
    const Bytes all = Join({answers[0], answers[1], answers[2]});
    EXPECT_EQ(kind == Kind::Udp ? all : client.Receive(all.size(), 2000), all);
    for (size_t i = 0; kind == Kind::Udp && i < 3; ++i)
        EXPECT_EQ(client.Receive(1, 2000), answers[i]);
    // Sends in pieces, each `gapMs` after the one before, with no answer in between.
    auto sendInPieces = [&](const Bytes& bytes, size_t piece, int gapMs) {
        for (size_t at = 0; at < bytes.size(); at += piece) {
            EXPECT_TRUE(at == 0 || client.Receive(1, gapMs).empty()) << "answered a part";
            ASSERT_TRUE(client.Send(
                Bytes(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + piece))));
        }
    };
    // The same bytes every run, more of them than any request has.
    Bytes garbage(kind == Kind::Udp ? 2000 : 64 * 1024);
    std::generate(garbage.begin(), garbage.end(), std::mt19937(7));
    sendInPieces(garbage, 4096, 0);
    EXPECT_TRUE(client.Receive(1, 300).empty()) << "garbage was answered";
    EXPECT_EQ(client.Exchange(kRtuReadCoils, kRtuCoilsAnswer.size()), kRtuCoilsAnswer);
    // A request in pieces, apart in time, is answered once whole (over UDP each datagram is a
    // request of its own: the pieces are broken requests).
    sendInPieces(TcpRead(7), 5, 30);
    ASSERT_TRUE(kind != Kind::Udp || client.Send(TcpRead(7)));
    EXPECT_EQ(client.Receive(13, 2000), TcpCoilsAnswer(7));
}

INSTANTIATE_TEST_SUITE_P(Transports, SimWire, ::testing::Values(Kind::Tcp, Kind::Udp, Kind::Serial),
                         [](const auto& info) { return std::string(kKindNames[int(info.param)]); });

TEST(SimTcp, ClientsThatGoAwayDoNotDisturbTheOthers) {
    SimProcess sim{VORNAK_SIM_PATH};
    WireClient other;
    ASSERT_TRUE(StartBoard(sim, other, Kind::Tcp, {"--delay", "200"})) << sim.ErrorOutput();
    // One leaves in the middle of a request, one before its (delayed) answer is written.
    for (const Bytes& request :
         {Bytes(kRtuReadCoils.begin(), kRtuReadCoils.begin() + 4), kRtuReadCoils}) {
        WireClient leaving;
        ASSERT_TRUE(leaving.Open(Kind::Tcp, sim) && leaving.Send(request));
    }
    // Answered after that answer was due, so after a write to a closed connection.
    EXPECT_EQ(other.Exchange(kRtuReadCoils, 9), kRtuCoilsAnswer);
}

TEST(SimOptions, DoToTheAnswersAndTheBoardWhatTheySay) {
    // Each row: the options of a simulator with coils 0-3 and 31 on; its coils and inputs at
    // the end; the time the row takes at least; whether requests are re-sent every 100 ms
    // until answered; requests over TCP and their answers (none: none within 300 ms).
    const struct {
        std::vector<std::string> options;
        uint32_t coils, inputs;
        int minMs;
        bool resend;
        std::vector<std::pair<Bytes, Bytes>> steps;
    } rows[] = {
        // clang-format off
        // No fault, the relay commands: close 5, open 1, toggle 32, 33 (none), broken ones.
        {{}, 0x1E, 0, 0, false,
         {{{0x55, 1, 0x12, 0, 0, 0, 5, 0x6D}, {0x22, 1, 0x12, 0x80, 0, 0, 0x1F, 0xD4}},
          {{0x55, 1, 0x11, 0, 0, 0, 1, 0x68}, {0x22, 1, 0x11, 0x80, 0, 0, 0x1E, 0xD2}},
          {{0x55, 1, 0x20, 0, 0, 0, 0x20, 0x96}, {0x22, 1, 0x20, 0, 0, 0, 0x1E, 0x61}},
          {{0x55, 1, 0x20, 0, 0, 0, 0x21, 0x97}, {0x22, 1, 0x20, 0, 0, 0, 0x1E, 0x61}},
          {Join({{0x55, 1, 0x13, 0, 0, 0, 1, 0x6A}, {0x55, 1, 0x20, 0, 0, 0, 2, 0x77},
                 {0x55, 2, 0x20, 0, 0, 0, 2, 0x79}, k55ReadStatus}),
           {0x22, 1, 0x10, 0, 0, 0, 0x1E, 0x51}},
          // Illegal data values: coil 10 set to neither ON nor OFF, a read of no coils.
          {{0, 9, 0, 0, 0, 6, 1, 5, 0, 10, 0x12, 0x34}, {0, 9, 0, 0, 0, 3, 1, 0x85, 3}},
          {{1, 1, 0, 0, 0, 0, 0x3C, 0x0A}, {1, 0x81, 3, 0x00, 0x51}}}},
        {{"--silent"}, kCoils, 0, 0, false, {{kRtuCoil3On, {}}}},
        {{"--silent=600"}, kCoils, 0, 600, true, {{kRtuReadCoils, kRtuCoilsAnswer}}},
        {{"--drop", "100"}, kCoils | 1u << 3, 0, 0, false, {{kRtuCoil3On, {}}}},
        {{"--delay", "300"}, kCoils, 0, 300, false, {{kRtuReadCoils, kRtuCoilsAnswer}}},
        {{"--split=100,400"}, kCoils, 0, 400, false, {{TcpRead(5), TcpCoilsAnswer(5)}}},
        {{"--wrongid"}, kCoils, 0, 0, false, {{TcpRead(0x41), TcpCoilsAnswer(0x42)}}},
        {{"--protocol", "55"}, kCoils, 0, 0, false,
         {{Join({kRtuReadCoils, TcpRead(1), k55ReadStatus}), k55StatusAnswer}}},
        // The check of each framing is broken: CRC, checksum, MBAP protocol identifier.
        {{"--corrupt", "100"}, kCoils, 0, 0, false,
         {{Join({kRtuReadCoils, k55ReadStatus, TcpRead(9)}),
           Join({{1, 1, 4, 0x0F, 0, 0, 0x80, 0xF9, 0x65 ^ 0x5A},
                 {0x22, 1, 0x10, 0x80, 0, 0, 0x0F, 0xC2 ^ 0x5A},
                 {0, 9, 0, 1, 0, 7, 1, 1, 4, 0x0F, 0, 0, 0x80}})}}},
        // Modbus only, and nothing is switched.
        {{"--exception", "4"}, kCoils, 0, 0, false,
         {{Join({kRtuCoil3On, TcpRead(3, 2), k55ReadStatus}),
           Join({{1, 0x85, 4, 0x43, 0x53}, {0, 3, 0, 0, 0, 3, 1, 0x82, 4}, k55StatusAnswer})}}},
        // Each answer is the one to the request before.
        {{"--late"}, kCoils, 0, 0, false,
         {{TcpRead(1), {}}, {TcpRead(2), TcpCoilsAnswer(1)}, {k55ReadStatus, TcpCoilsAnswer(2)}}},
        // Seeded, the same requests are dropped every time: here the first and the third.
        {{"--seed", "7", "--drop", "50"}, kCoils, 0, 0, false,
         {{Join({TcpRead(1), TcpRead(2), TcpRead(3), TcpRead(4), TcpRead(5)}),
           Join({TcpCoilsAnswer(2), TcpCoilsAnswer(4), TcpCoilsAnswer(5)})}}},
        {{"--coils", "5", "--inputs", "mirror"}, 0xD, 0xD, 0, false, {{kRtuCoil3On, kRtuCoil3On}}},
        {{"--silent-after", "2"}, kCoils, 0, 0, false,
         {{TcpRead(1), TcpCoilsAnswer(1)}, {TcpRead(2), TcpCoilsAnswer(2)}, {TcpRead(3), {}}}},
        // A bad board: coil 3 stuck OFF, 4 shorted to 5, input 4 dead. Writes are answered.
        {{"--inputs", "mirror", "--stuck", "3=off", "--short", "4,5", "--dead-input", "4"},
         0x80000037, 0x80000027, 0, false, {{TcpCoilOn(3), TcpCoilOn(3)}, {TcpCoilOn(4), TcpCoilOn(4)}}},
        // At 5 and 9 only: as it was asked, and nothing elsewhere.
        {{"--address", "5-9", "--silent-addresses", "6-8"}, kCoils, 0, 0, false,
         {{TcpRead(1, 1, 1), {}}, {TcpRead(2, 1, 7), {}}, {TcpRead(3, 1, 5), TcpCoilsAnswer(3, 5)},
          {TcpRead(4, 1, 9), TcpCoilsAnswer(4, 9)}}},
        // clang-format on
    };
    for (const auto& row : rows) {
        const std::string name = row.options.empty() ? "none" : row.options[0];
        SimProcess sim{VORNAK_SIM_PATH};
        WireClient client;
        ASSERT_TRUE(StartBoard(sim, client, Kind::Tcp, row.options)) << sim.ErrorOutput();
        const Clock::time_point start = Clock::now();
        for (const auto& [request, answer] : row.steps) {
            const size_t size = std::max<size_t>(answer.size(), 1);
            const int waitMs = answer.empty() ? 300 : row.resend ? 100 : 3000;
            Bytes got = client.Exchange(request, size, waitMs);
            while (row.resend && got.empty() && Clock::now() - start < std::chrono::seconds(10))
                got = client.Exchange(request, size, waitMs);
            EXPECT_EQ(got, answer) << name;
        }
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(row.minMs)) << name;
        uint32_t coils = 0, inputs = 0;
        ASSERT_TRUE(sim.ReadStates(coils, inputs));
        EXPECT_EQ(coils, row.coils) << name;
        EXPECT_EQ(inputs, row.inputs) << name;
    }
}

TEST(SimCommandLine, RefusesBadOptionsAndWhatItCannotHaveWithAReason) {
    SimProcess holder{VORNAK_SIM_PATH}; // holds a TCP and a UDP port, as another program would
    ASSERT_TRUE(holder.Start({"--tcp", "0", "--udp", "0", "--quiet"})) << holder.ErrorOutput();
    const std::string tcp = std::to_string(holder.TcpPort()),
                      udp = std::to_string(holder.UdpPort());
    const std::string file = ::testing::TempDir() + "vornak-sim-file-" + std::to_string(::getpid());
    std::ofstream(file) << "not a link";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string mentioned;
    } cases[] = {
        {{"--bogus"}, 2, "--bogus"},
        {{"--tcp"}, 2, "--tcp"},
        {{"--udp", "70000"}, 2, "70000"},
        {{"--address", "256"}, 2, "--address"},
        {{"--protocol", "modbus"}, 2, "modbus"},
        {{"--coils", "123456789"}, 2, "123456789"},
        {{"--inputs", "sideways"}, 2, "sideways"},
        {{"--drop", "101"}, 2, "drop"},
        {{"--quiet=yes"}, 2, "quiet"},
        {{"stray"}, 2, "stray"},
        {{"--baud", "10"}, 2, "baud"},
        {{"--chunks", "0,5"}, 2, "chunks"},
        {{"--stuck", "5=up"}, 2, "stuck"},
        {{"--short", "3,3"}, 2, "short"},
        {{"--address", "2-1"}, 2, "2-1"},
        {{"--silent-addresses", "300"}, 2, "silent-addresses"},
        {{"--line", "9600,mark"}, 2, "9600,mark"},
        {{"--tcp", "0", "--control", file}, 1, file},
        {{"--tcp", tcp}, 1, "127.0.0.1:" + tcp},
        {{"--udp", udp}, 1, "127.0.0.1:" + udp},
        {{"--tcp", "0", "--bind", "localhost"}, 1, "localhost"},
        {{"--link", file}, 1, file},
    };
    for (const auto& c : cases) {
        SimProcess sim{VORNAK_SIM_PATH};
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back(c.status == 2 ? "--tcp=0" : "--quiet");
        EXPECT_FALSE(sim.Start(arguments)) << c.mentioned;
        EXPECT_EQ(sim.ExitStatus(), c.status) << c.mentioned;
        EXPECT_NE(sim.ErrorOutput().find(c.mentioned), std::string::npos)
            << c.mentioned << ": " << sim.ErrorOutput();
    }
    ::unlink(file.c_str());
}

TEST(SimCommandLine, ObeysCommandsRunsInTheBackgroundAndEndsOnCtrlC) {
    // A control socket and a pty's link left behind by a simulator that was killed are taken
    // over; the link goes with the simulator.
    const std::string control =
        ::testing::TempDir() + "vornak-sim-ctl-" + std::to_string(::getpid());
    const std::string link = control + "-tty";
    {
        SimProcess killed{VORNAK_SIM_PATH};
        ASSERT_TRUE(killed.Start({"--tcp", "0", "--link", link, "--quiet", "--control", control}));
        ::kill(killed.Pid(), SIGKILL);
    }
    SimProcess sim{VORNAK_SIM_PATH};
    ASSERT_TRUE(sim.Start(
        {"--link", link, "--coils", "0x00000001", "--inputs", "0x80000000", "--control", control}))
        << sim.ErrorOutput();
    std::string reply;
    for (const char* good : {"coil 31 1", "coil 0 0", "input 4 1"})
        EXPECT_TRUE(sim.Command(good)) << good;
    for (const char* bad : {"coil 32 1", "coil 1 2", "input x 1", "drop", "silent -5", "jump"}) {
        EXPECT_FALSE(sim.Command(bad, &reply)) << bad;
        EXPECT_EQ(reply.rfind("ERR ", 0), 0u) << bad << ": " << reply;
    }
    EXPECT_EQ(sim.Coils(), 0x80000000u);
    // Without standard input (run in the background) it keeps serving: inputs 4 and 31 on.
    sim.CloseInput();
    WireClient serial;
    ASSERT_TRUE(serial.Open(Kind::Serial, sim));
    EXPECT_EQ(serial.Exchange({0x01, 0x02, 0x00, 0x00, 0x00, 0x20, 0x79, 0xD2}, 9),
              (Bytes{0x01, 0x02, 0x04, 0x10, 0x00, 0x00, 0x80, 0xFE, 0x82}));
    // Its control socket still takes commands, from as many connections as come, and no other
    // simulator can take it over.
    // Runs `vornak-sim --control PATH --send C` for each command C.
    auto send = [&control](std::vector<std::string> commands) {
        std::vector<std::string> argv{VORNAK_SIM_PATH, "--control", control};
        for (std::string& command : commands)
            argv.insert(argv.end(), {"--send", command});
        return RunProgram(argv);
    };
    const ProgramRun sent = send({"coil 5 1", "# note", "state"});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(sent.out, "OK coil 5 1\nSTATE coils=00000100000000000000000000000001 "
                        "inputs=00001000000000000000000000000001\n");
    EXPECT_EQ(send({"coil 5 0", "jump"}).status, 1);
    SimProcess rival{VORNAK_SIM_PATH};
    EXPECT_FALSE(rival.Start({"--tcp", "0", "--control", control}));
    EXPECT_NE(rival.ErrorOutput().find("in use"), std::string::npos) << rival.ErrorOutput();
    EXPECT_EQ(send({"state"}).out.substr(0, 28), "STATE coils=0000000000000000");
    ASSERT_EQ(::kill(sim.Pid(), SIGINT), 0);
    EXPECT_EQ(sim.Stop(), 0);
    struct stat info {};
    EXPECT_NE(::lstat(link.c_str(), &info), 0) << "the link was left behind";
    const ProgramRun gone = send({"state"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.err.find("cannot reach a simulator at " + control), std::string::npos)
        << gone.err;
}

TEST_P(SimLibmodbus, ReadsWritesAndAnswersExceptions) {
    SimProcess sim{VORNAK_SIM_PATH};
    ASSERT_TRUE(
        sim.Start({"--tcp", "0", "--pty", "--quiet", "--coils", "8000000F", "--inputs", "A5"}))
        << sim.ErrorOutput();
    const std::unique_ptr<modbus_t, void (*)(modbus_t*)> context(
        GetParam() ? modbus_new_tcp("127.0.0.1", sim.TcpPort())
                   : modbus_new_rtu(sim.PtyPath().c_str(), 115200, 'N', 8, 1),
        [](modbus_t* c) {
            modbus_close(c);
            modbus_free(c);
        });
    modbus_t* c = context.get();
    ASSERT_TRUE(c && modbus_set_slave(c, 1) == 0 && modbus_connect(c) == 0);
    modbus_set_response_timeout(c, 2, 0);
    uint8_t coils[32] = {}, inputs[32] = {}, window[10] = {}, last = 0;
    ASSERT_EQ(modbus_read_bits(c, 0, 32, coils), 32) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_input_bits(c, 0, 32, inputs), 32) << modbus_strerror(errno);
    // A window that is not byte-aligned, coils 2..11, and the last coil alone.
    ASSERT_EQ(modbus_read_bits(c, 2, 10, window), 10) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_bits(c, 31, 1, &last), 1) << modbus_strerror(errno);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(coils[i], i < 4 || i == 31) << "coil " << i;
        EXPECT_EQ(inputs[i], (0xA5u >> i) & 1u) << "input " << i;
        EXPECT_EQ(i < 10 ? window[i] : 0, i < 2) << "coil " << 2 + i;
    }
    EXPECT_EQ(last, 1);
    // Writing the state a coil already has is not an error.
    for (auto [coil, on] : {std::pair{0, 0}, {17, 1}, {17, 1}})
        ASSERT_EQ(modbus_write_bit(c, coil, on), 1) << modbus_strerror(errno);
    uint16_t registers[1] = {};
    EXPECT_EQ(Refused(modbus_read_bits(c, 30, 5, coils)), EMBXILADD);
    EXPECT_EQ(Refused(modbus_read_input_bits(c, 32, 1, inputs)), EMBXILADD);
    EXPECT_EQ(Refused(modbus_write_bit(c, 32, 1)), EMBXILADD);
    EXPECT_EQ(Refused(modbus_read_registers(c, 0, 1, registers)), EMBXILFUN);
    // A board at another address does not answer.
    modbus_set_response_timeout(c, 0, 300000);
    ASSERT_EQ(modbus_set_slave(c, 2), 0);
    EXPECT_EQ(Refused(modbus_write_bit(c, 5, 1)), ETIMEDOUT);
    EXPECT_EQ(sim.Coils(), 0x8002000Eu) << "the writes, and no refused request";
}

INSTANTIATE_TEST_SUITE_P(Links, SimLibmodbus, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Tcp" : "Rtu"); });

TEST(SimField, SendsAnswersLateSlowlyInPiecesAndWithJunkAsFieldHardwareDoes) {
    // Each row: a transport and the options; the time from the request to the answer's last
    // byte at least; how many reads the answer took (UDP: datagrams); whether 1-4 junk bytes
    // follow it.
    const struct {
        Kind kind;
        std::vector<std::string> options;
        int minMs;
        size_t minReads, maxReads;
        bool stray;
    } rows[] = {
        {Kind::Tcp, {"--chunks", "3,100"}, 200, 2, 3, false},
        {Kind::Udp, {"--chunks", "3,20"}, 40, 3, 3, false},
        {Kind::Serial, {"--chunks", "2,150"}, 150, 2, 9, false},
        {Kind::Serial, {"--baud", "1200"}, 75, 2, 9, false}, // 9 bytes of 8.3 ms
        {Kind::Serial, {"--turnaround", "60", "--baud", "9600"}, 69, 1, 9, false},
        {Kind::Tcp, {"--turnaround", "60", "--baud", "1200"}, 60, 1, 1, false}, // a pty rate
        {Kind::Udp, {"--stray", "100"}, 0, 1, 1, true},
        {Kind::Tcp, {"--stray", "100", "--turnaround", "20"}, 20, 1, 1, true},
        {Kind::Serial, {"--stray", "100", "--baud", "19200"}, 4, 1, 9, true},
    };
    for (const auto& row : rows) {
        const std::string name = std::string(kKindNames[int(row.kind)]) + " " + row.options[0];
        SimProcess sim{VORNAK_SIM_PATH};
        WireClient client;
        ASSERT_TRUE(StartBoard(sim, client, row.kind, row.options)) << sim.ErrorOutput();
        const Clock::time_point start = Clock::now();
        ASSERT_TRUE(client.Send(kRtuReadCoils));
        Bytes got;
        size_t reads = 0;
        for (Bytes piece;
             got.size() < kRtuCoilsAnswer.size() && !(piece = client.Receive(1, 3000)).empty();
             ++reads)
            got.insert(got.end(), piece.begin(), piece.end());
        using std::chrono::milliseconds;
        EXPECT_GE(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count(), row.minMs)
            << name;
        EXPECT_GE(reads, row.minReads) << name;
        EXPECT_LE(reads, row.maxReads) << name;
        const Bytes junk = client.Receive(5, 300);
        got.insert(got.end(), junk.begin(), junk.end());
        ASSERT_GE(got.size(), kRtuCoilsAnswer.size()) << name;
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 9), kRtuCoilsAnswer) << name;
        const size_t extra = got.size() - kRtuCoilsAnswer.size();
        EXPECT_TRUE(row.stray ? extra >= 1 && extra <= 4 : extra == 0) << name << ": " << extra;
    }
    // Over UDP a stranger at 127.0.0.2 answers first: well-formed, with the opposite states.
    SimProcess sim{VORNAK_SIM_PATH};
    WireClient client;
    ASSERT_TRUE(StartBoard(sim, client, Kind::Udp, {"--stranger", "100"}) &&
                client.Send(kRtuReadCoils))
        << sim.ErrorOutput();
    const Bytes impostor{1, 1, 4, 0xF0, 0xFF, 0xFF, 0x7F, 0xF8, 0xF1};
    for (const auto& [host, answer] :
         {std::pair{0x7F000002u, impostor}, {0x7F000001u, kRtuCoilsAnswer}}) {
        uint32_t source = 0;
        EXPECT_EQ(client.Receive(1, 2000, &source), answer) << host;
        EXPECT_EQ(source, host);
    }
}

TEST(SimSerial, AnswersOnlyAToolAtTheBoardsRateAndStopBits) {
    SimProcess sim{VORNAK_SIM_PATH};
    WireClient client;
    ASSERT_TRUE(StartBoard(sim, client, Kind::Serial, {"--line", "19200,even,8,2"}))
        << sim.ErrorOutput();
    // A pty keeps no parity, so that cannot be told.
    const struct {
        speed_t speed;
        bool twoStopBits, answered;
    } lines[] = {{B9600, true, false}, {B19200, false, false}, {B19200, true, true}};
    for (const auto& line : lines) {
        ASSERT_TRUE(client.SetLine(line.speed, line.twoStopBits));
        EXPECT_EQ(client.Exchange(kRtuReadCoils, 9, line.answered ? 2000 : 300),
                  line.answered ? kRtuCoilsAnswer : Bytes{})
            << line.speed << " " << line.twoStopBits;
    }
}
