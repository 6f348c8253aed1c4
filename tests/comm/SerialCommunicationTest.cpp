// The serial transport against pseudo-terminals (the test plays the device on the master),
// and how its settings become terminal attributes.
#include "comm/SerialCommunication.h"

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "comm/posix/ArbitraryBaudRate.h"
#include "comm/posix/SerialLineSettings.h"
#include "support/OpenDescriptors.h"
#include "support/PtyPair.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

SerialConfig Config(const std::string& port, uint32_t baud = 9600, uint32_t dataBits = 8,
                    uint32_t stopBits = 0, uint32_t parity = 0) {
    return SerialConfig{port, baud, dataBits, stopBits, parity};
}

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        Use(Config(pty.SlavePath()));
    }
    void Use(const SerialConfig& config) { serial.Configure(&config); }
    // The next Receive: the bytes, or {0xEE, n} when it returned n <= 0.
    Bytes Next(int32_t size, int32_t waitMs) {
        Bytes buffer(static_cast<size_t>(size));
        const int32_t n = serial.Receive(buffer.data(), size, waitMs);
        return n > 0 ? Bytes(buffer.begin(), buffer.begin() + n) : Bytes{0xEE, uint8_t(n)};
    }

    PtyPair pty;
    SerialCommunication serial;
};

TEST_F(SerialTest, ClosedPortRefusesAtOnceAndNoDescriptorLeaksAcrossFailuresAndReopens) {
    uint8_t buffer[8] = {};
    const auto start = Clock::now();
    EXPECT_EQ(serial.Receive(buffer, 8, 2000), -1);
    EXPECT_EQ(serial.Send(buffer, 8), -1);
    EXPECT_LT(MsSince(start), 500);
    const int before = CountOpenDescriptors();
    for (int i = 0; i < 30; ++i) {
        // Neither another name than a path or a name under /dev, nor 1.5 stop bits, opens.
        for (const SerialConfig& bad :
             {Config("COM1"), Config(""), Config("/dev/null"), Config("/nonexistent/ttyUSB0"),
              Config(pty.SlavePath(), 9600, 8, 1)}) {
            Use(bad);
            EXPECT_FALSE(serial.Open()) << bad.portName;
        }
        Use(Config(pty.SlavePath().substr(5))); // "pts/N"
        EXPECT_TRUE(serial.Open());
        EXPECT_TRUE(serial.Open());
        serial.Close();
        serial.Close();
        SerialCommunication dropped;
        const SerialConfig good = Config(pty.SlavePath());
        dropped.Configure(&good);
        EXPECT_TRUE(dropped.Open()); // destroyed while open
    }
    EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST_F(SerialTest, SilentDeviceEndsAReceiveByTheFirstLimitAndAFullBufferEndsItAtOnce) {
    // The port's own limit is 10 ms per byte + 100 ms; whichever ends first, nothing came (0).
    const struct {
        int32_t size, waitMs, atLeastMs;
    } rows[] = {{4, 60, 60}, {4, 1000, 140}, {1, 0, 0}, {2, 300, 120}};
    ASSERT_TRUE(serial.Open());
    for (const auto& r : rows) {
        const auto start = Clock::now();
        EXPECT_EQ(Next(r.size, r.waitMs), Bytes({0xEE, 0})) << r.waitMs;
        EXPECT_GE(MsSince(start), r.atLeastMs);
        EXPECT_LT(MsSince(start), r.atLeastMs + 1500);
    }
    ASSERT_TRUE(pty.Write({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Next(4, 3000), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(Next(4, 3000), Bytes({5, 6}));
}

TEST_F(SerialTest, AnswerComesWholeAfterItsPauseOrItsCheckAndIsReadToItsEndOnceBegun) {
    ASSERT_TRUE(serial.Open());
    // Flow-control, line-end and signal characters cross both ways untouched.
    const Bytes tricky = {0x11, 0x13, 0x0D, 0x0A, 0x00, 0x03, 0x04, 0x1A, 0x7F, 0xFF, 0x0D};
    // A first byte on its own: a write the line takes one byte at a time counts each once.
    ASSERT_EQ(serial.Send(tricky.data(), 1), 1);
    ASSERT_EQ(serial.Send(tricky.data() + 1, 10), 10);
    EXPECT_EQ(pty.Read(11, 2000), tricky);
    ASSERT_TRUE(pty.Write(tricky));
    const auto written = Clock::now();
    EXPECT_EQ(Next(256, 3000), tricky);
    EXPECT_GE(MsSince(written), 49);
    EXPECT_LT(MsSince(written), 1000);
    EXPECT_TRUE(pty.Read(1, 100).empty()); // nothing was echoed back
    // The caller's wait bounds the first byte only: an answer begun is read to its end,
    // although its closing pause cannot pass in 20 ms; input left over goes unread.
    ASSERT_TRUE(pty.Write({0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(Next(256, 20), Bytes({0xAA, 0xBB, 0xCC}));
    ASSERT_TRUE(pty.Write({0xDD, 0xEE}));
    uint8_t dropped[8];
    int32_t droppedCount = 0; // taken without waiting, so asked until they have crossed
    for (const auto start = Clock::now(); droppedCount < 2 && MsSince(start) < 2000;)
        droppedCount += serial.DiscardPending(dropped + droppedCount, 8 - droppedCount);
    EXPECT_EQ(Bytes(dropped, dropped + droppedCount), Bytes({0xDD, 0xEE}));
    EXPECT_EQ(serial.DiscardPending(dropped, 8), 0);
    // The answer check is asked after every read; once it says whole, the read ends there
    // (the byte written after that comes with the next call).
    std::vector<int32_t> asked;
    serial.SetAnswerCheck([&](const uint8_t* data, int32_t n) {
        asked.push_back(n);
        return data[n - 1] == 0x0D;
    });
    ASSERT_TRUE(pty.Write({0x31, 0x0D}));
    EXPECT_EQ(Next(256, 2000), Bytes({0x31, 0x0D}));
    ASSERT_TRUE(pty.Write({0x32}));
    EXPECT_EQ(Next(256, 2000), Bytes({0x32}));
    EXPECT_EQ(asked.front(), 2);
    EXPECT_EQ(asked.back(), 1);
}

TEST_F(SerialTest, AnOpenPortKeepsOthersOutAndIsHeldByNobodyOnceClosed) {
    ASSERT_TRUE(serial.Open());
    SerialCommunication other;
    const SerialConfig config = Config(pty.SlavePath());
    other.Configure(&config);
    EXPECT_FALSE(other.Open());
    // Another program that takes the same lock is kept out too, and keeps us out.
    const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
    serial.Close();
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(other.Open());
    close(fd);
    EXPECT_TRUE(other.Open());
}

TEST_F(SerialTest, UnplugEndsReceivesAtOnceWithoutSpinning) {
    ASSERT_TRUE(serial.Open());
    // The unplug must end a read that is already waiting; its exact moment does not matter.
    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pty.CloseMaster();
    });
    const std::clock_t cpuBefore = std::clock(); // of all threads
    const auto start = Clock::now();
    uint8_t buffer[8] = {};
    const uint8_t hungUp = uint8_t(kReceiveClosed); // told apart from silence and failures
    EXPECT_EQ(Next(256, 5000), Bytes({0xEE, hungUp}));
    unplug.join();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Next(256, 3000), Bytes({0xEE, hungUp}));
    EXPECT_EQ(serial.DiscardPending(buffer, 8), kReceiveClosed);
    EXPECT_EQ(serial.Send(buffer, 8), -1);
    EXPECT_LT(MsSince(start), 2000); // far below the port's limit of 2660 ms and the waits
    EXPECT_LT(std::clock() - cpuBefore, CLOCKS_PER_SEC / 2);
}

TEST_F(SerialTest, SendIsBoundedWhenTheLineTakesNothing) {
    ASSERT_TRUE(serial.Open());
    // Nobody reads the master: a big frame outlasts the 1000 ms wait and fails, though the
    // line took part of it; then a frame of 10 bytes ends by the port's limit of
    // 10 x 10 + 100 ms with nothing taken (0, not a failure of the port).
    const Bytes big(1 << 18, 0x55);
    auto start = Clock::now();
    EXPECT_EQ(serial.Send(big.data(), static_cast<int32_t>(big.size())), -1);
    EXPECT_GE(MsSince(start), 1000);
    EXPECT_LT(MsSince(start), 3000);
    start = Clock::now();
    EXPECT_EQ(serial.Send(big.data(), 10), 0);
    EXPECT_GE(MsSince(start), 200);
    EXPECT_LT(MsSince(start), 1500);
}

TEST_F(SerialTest, EveryLineSettingReachesTheTerminal) {
    // A pseudo-terminal keeps rate, stop bits and PARODD but always shows 8 data bits
    // without parity; those are checked on the composed attributes below. A standard rate
    // after an arbitrary one must undo it.
    const struct {
        uint32_t baud, stopBits, parity;
    } rows[] = {{9600, 0, 0},   {115200, 2, 1}, {19200, 0, 2},   {38400, 0, 3},
                {250000, 0, 4}, {57600, 0, 0},  {1234567, 2, 0}, {9600, 0, 0}};
    for (const auto& r : rows) {
        Use(Config(pty.SlavePath(), r.baud, 8, r.stopBits, r.parity));
        ASSERT_TRUE(serial.Open()) << r.baud;
        serial.Close();
        // The settings outlive the transport's descriptor while the master stays open.
        const int fd = open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        uint32_t out = 0, in = 0;
        EXPECT_TRUE(tcgetattr(fd, &t) == 0 && GetArbitraryBaudRate(fd, &out, &in));
        close(fd);
        EXPECT_EQ(out, r.baud);
        EXPECT_TRUE(in == 0 || in == r.baud) << in;
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, r.stopBits == 2) << r.baud;
        EXPECT_EQ((t.c_cflag & PARODD) != 0, r.parity == 1 || r.parity == 3) << r.baud; // odd, mark
    }
}

TEST(SerialLineSettings, ComposesARawLineWithTheFrameAndChecksWhatIsReadBack) {
    const struct {
        uint32_t dataBits, stopBits, parity;
        tcflag_t frame; // CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
    } rows[] = {{8, 0, 0, CS8},
                {7, 0, 2, CS7 | PARENB},
                {5, 2, 1, CS5 | PARENB | PARODD | CSTOPB},
                {6, 0, 3, CS6 | PARENB | CMSPAR | PARODD},
                {8, 2, 4, CS8 | PARENB | CMSPAR | CSTOPB},
                {0x107, 0x200, 0x302, CS7 | PARENB}}; // only the low 8 bits of each code count
    // A terminal as a fresh tty comes up: cooked, echoing, with XON/XOFF and CR mapping.
    termios cooked{};
    cooked.c_iflag = ICRNL | IXON | IXOFF | IGNPAR | ISTRIP;
    cooked.c_oflag = OPOST | ONLCR;
    cooked.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    for (const auto& r : rows) {
        cooked.c_cflag = CS7 | PARENB | CSTOPB | (r.dataBits == 8 ? CRTSCTS : 0);
        SerialLineSettings s;
        ASSERT_TRUE(SerialLineSettings::Compose(Config("", 9600, r.dataBits, r.stopBits, r.parity),
                                                cooked, &s));
        const termios& t = s.attributes;
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), r.frame);
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL | CRTSCTS),
                  CREAD | CLOCAL | (r.dataBits == 8 ? CRTSCTS : 0));
        EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | IXANY | ISTRIP | IGNPAR | INPCK), INPCK);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    }
    // Refused, output untouched: 1.5 or 3 stop bits, 4 or 9 data bits, parity 5, rate 0.
    for (const SerialConfig& c :
         {Config("", 9600, 8, 1), Config("", 9600, 8, 3), Config("", 9600, 4), Config("", 9600, 9),
          Config("", 9600, 8, 0, 5), Config("", 0)}) {
        SerialLineSettings s;
        s.baudRate = 77;
        EXPECT_FALSE(SerialLineSettings::Compose(c, cooked, &s));
        EXPECT_EQ(s.baudRate, 77u);
    }
    // Reading back: what was asked must show, save what a pty cannot show (8 data bits
    // without parity), and the rate within a UART's tolerance (2 %; input 0 is "same").
    SerialLineSettings s;
    ASSERT_TRUE(SerialLineSettings::Compose(Config("", 10000, 7, 2, 2), cooked, &s));
    termios eightNone = s.attributes, xoff = s.attributes, oneStop = s.attributes;
    eightNone.c_cflag = (eightNone.c_cflag & ~(CSIZE | PARENB)) | CS8;
    xoff.c_iflag |= IXOFF;
    oneStop.c_cflag &= ~CSTOPB;
    EXPECT_TRUE(s.TakenBy(s.attributes, false) && s.TakenBy(eightNone, true));
    EXPECT_FALSE(s.TakenBy(eightNone, false) || s.TakenBy(xoff, true) || s.TakenBy(oneStop, true));
    EXPECT_TRUE(s.RateTaken(10000, 0) && s.RateTaken(10150, 9850));
    EXPECT_FALSE(s.RateTaken(10300, 0) || s.RateTaken(10000, 9600) || s.RateTaken(0, 0));
}

} // namespace
