// The serial transport against pseudo-terminals: the test plays the device on the master.
#include "comm/SerialCommunication.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comm/posix/ArbitraryBaudRate.h"
#include "support/OpenDescriptors.h"
#include "support/PtyPair.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

SerialConfig ConfigFor(const std::string& path, uint32_t baud = 9600, uint32_t dataBits = 8,
                       uint32_t stopBits = 0, uint32_t parity = 0) {
    SerialConfig c;
    c.portName = path;
    c.baudRate = baud;
    c.dataBits = dataBits;
    c.stopBits = stopBits;
    c.parity = parity;
    return c;
}

// Reads the line settings the slave side is left with; they outlive the transport's
// descriptor as long as the master stays open.
bool SlaveAttributes(const PtyPair& pty, termios* t, uint32_t* rate = nullptr) {
    int fd = open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint32_t out = 0, in = 0;
    bool ok =
        tcgetattr(fd, t) == 0 && GetArbitraryBaudRate(fd, &out, &in) && (in == 0 || in == out);
    close(fd);
    if (rate != nullptr)
        *rate = out;
    return ok;
}

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        SerialConfig c = ConfigFor(pty.SlavePath());
        ASSERT_TRUE(serial.Configure(&c));
    }

    int32_t Receive(Bytes* out, int32_t size, int32_t timeoutMs) {
        out->assign(static_cast<size_t>(size), 0);
        int32_t n = serial.Receive(out->data(), size, timeoutMs);
        out->resize(n > 0 ? static_cast<size_t>(n) : 0);
        return n;
    }

    PtyPair pty;
    SerialCommunication serial;
};

TEST_F(SerialTest, ClosedTransportRefusesAtOnce) {
    uint8_t buf[8];
    const auto t0 = Clock::now();
    EXPECT_EQ(serial.Receive(buf, sizeof buf, 2000), -1);
    EXPECT_EQ(serial.Send(buf, sizeof buf), -1);
    EXPECT_LT(MsSince(t0), 500);
    EXPECT_FALSE(serial.Configure(nullptr));
}

TEST_F(SerialTest, PortNameIsAPathOrANameUnderDev) {
    for (const char* name : {"COM1", "", "/dev/null", "/nonexistent/ttyUSB0"}) {
        SerialConfig c = ConfigFor(name);
        serial.Configure(&c);
        EXPECT_FALSE(serial.Open()) << name;
        EXPECT_FALSE(serial.IsOpen()) << name;
    }
    SerialConfig bare = ConfigFor(pty.SlavePath().substr(std::strlen("/dev/")));
    serial.Configure(&bare);
    EXPECT_TRUE(serial.Open());
}

// A silent device: the caller's wait or the port's own limit (10 ms per byte + 100 ms)
// ends the read, whichever comes first.
struct SilentCase {
    int32_t size;
    int32_t waitMs;
    int32_t expected;
    int64_t atLeastMs;
};

class SilentDeviceTest : public SerialTest, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentDeviceTest, EndsByTheFirstLimit) {
    const SilentCase& c = GetParam();
    ASSERT_TRUE(serial.Open());
    Bytes got;
    const auto t0 = Clock::now();
    EXPECT_EQ(Receive(&got, c.size, c.waitMs), c.expected);
    const int64_t took = MsSince(t0);
    EXPECT_GE(took, c.atLeastMs);
    EXPECT_LT(took, c.atLeastMs + 1500);
}

INSTANTIATE_TEST_SUITE_P(Table, SilentDeviceTest,
                         ::testing::Values(SilentCase{4, 60, -1, 60},    // wait < 140 ms
                                           SilentCase{4, 1000, 0, 140},  // port limit first
                                           SilentCase{1, 0, -1, 0},      // no wait at all
                                           SilentCase{2, 300, 0, 120})); // 120 ms < 300 ms

TEST_F(SerialTest, BurstComesBackWholeAboutFiftyMsAfterItsLastByte) {
    ASSERT_TRUE(serial.Open());
    const Bytes answer = {0x01, 0x01, 0x04, 0xFF, 0x00, 0x11, 0x22, 0xA5, 0x5A};
    ASSERT_TRUE(pty.Write(answer));
    const auto written = Clock::now();
    Bytes got;
    EXPECT_EQ(Receive(&got, 256, 3000), static_cast<int32_t>(answer.size()));
    const int64_t after = MsSince(written);
    EXPECT_EQ(got, answer);
    EXPECT_GE(after, 49);
    EXPECT_LT(after, 1000);
}

TEST_F(SerialTest, FullBufferEndsTheReadWithoutWaitingForAPause) {
    ASSERT_TRUE(serial.Open());
    ASSERT_TRUE(pty.Write({1, 2, 3, 4, 5, 6}));
    Bytes got;
    EXPECT_EQ(Receive(&got, 4, 3000), 4);
    EXPECT_EQ(got, Bytes({1, 2, 3, 4}));
    EXPECT_EQ(Receive(&got, 4, 3000), 2);
    EXPECT_EQ(got, Bytes({5, 6}));
}

TEST_F(SerialTest, AnswerUnfinishedWhenTheWaitEndsIsLostAndItsTailComesNext) {
    ASSERT_TRUE(serial.Open());
    ASSERT_TRUE(pty.Write({0xAA, 0xBB, 0xCC}));
    Bytes got;
    // The closing pause of 50 ms cannot pass within a 20 ms wait.
    EXPECT_EQ(Receive(&got, 256, 20), -1);
    ASSERT_TRUE(pty.Write({0xDD, 0xEE}));
    EXPECT_EQ(Receive(&got, 256, 2000), 2);
    EXPECT_EQ(got, Bytes({0xDD, 0xEE}));
}

TEST_F(SerialTest, ControlBytesPassUnchangedBothWays) {
    ASSERT_TRUE(serial.Open());
    const Bytes tricky = {0x11, 0x13, 0x0D, 0x0A, 0x00, 0x03, 0x04, 0x1A, 0x7F, 0xFF, 0x0D, 0x11};
    ASSERT_TRUE(pty.Write(tricky));
    Bytes got;
    EXPECT_EQ(Receive(&got, 256, 2000), static_cast<int32_t>(tricky.size()));
    EXPECT_EQ(got, tricky);
    // Nothing was echoed back to the device either.
    EXPECT_TRUE(pty.Read(1, 100).empty());

    EXPECT_EQ(serial.Send(tricky.data(), static_cast<int32_t>(tricky.size())),
              static_cast<int32_t>(tricky.size()));
    EXPECT_EQ(pty.Read(tricky.size(), 2000), tricky);
}

TEST_F(SerialTest, SecondOpenOfAnOpenPortFails) {
    ASSERT_TRUE(serial.Open());
    SerialCommunication other;
    SerialConfig c = ConfigFor(pty.SlavePath());
    other.Configure(&c);
    EXPECT_FALSE(other.Open());

    // Another program that takes the same lock is kept out too.
    int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);

    serial.Close();
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(other.Open()); // and now the other program holds it
    close(fd);
    EXPECT_TRUE(other.Open());
}

TEST_F(SerialTest, UnplugEndsReadsAtOnceWithoutSpinning) {
    ASSERT_TRUE(serial.Open());
    // The unplug must end a read already waiting; when it happens exactly does not matter.
    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pty.CloseMaster();
    });
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    uint8_t buf[256];
    EXPECT_EQ(serial.Receive(buf, sizeof buf, 5000), -1);
    unplug.join();
    // Later calls fail at once too; the transport stays open until closed.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(serial.Receive(buf, sizeof buf, 3000), -1);
    EXPECT_EQ(serial.Send(buf, 8), -1);
    EXPECT_LT(MsSince(t0), 2000); // far below the 2660 ms port limit and the waits
    EXPECT_LT(CpuSeconds() - cpu0, 0.5);
    EXPECT_TRUE(serial.IsOpen());
}

TEST_F(SerialTest, SendIsBoundedWhenTheLineTakesNothing) {
    ASSERT_TRUE(serial.Open());
    // Nobody reads the master, so the line fills up: the big frame is taken in part
    // within the 1000 ms limit, and a frame of 10 bytes then gets 10 x 10 + 100 ms.
    Bytes big(1 << 18, 0x55);
    auto t0 = Clock::now();
    const int32_t taken = serial.Send(big.data(), static_cast<int32_t>(big.size()));
    int64_t took = MsSince(t0);
    EXPECT_GT(taken, 0);
    EXPECT_LT(taken, static_cast<int32_t>(big.size()));
    EXPECT_GE(took, 1000);
    EXPECT_LT(took, 3000);

    t0 = Clock::now();
    EXPECT_EQ(serial.Send(big.data(), 10), -1);
    took = MsSince(t0);
    EXPECT_GE(took, 200);
    EXPECT_LT(took, 1500);
}

TEST_F(SerialTest, NoDescriptorLeaksAcrossCycles) {
    const int before = CountOpenDescriptors();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 30; ++i) {
        SerialConfig good = ConfigFor(pty.SlavePath());
        SerialConfig bad = ConfigFor(pty.SlavePath(), 9600, 8, 1);
        serial.Configure(&bad);
        EXPECT_FALSE(serial.Open());
        serial.Configure(&good);
        EXPECT_TRUE(serial.Open());
        EXPECT_TRUE(serial.Open());
        serial.Close();
        serial.Close();
        SerialCommunication dropped;
        dropped.Configure(&good);
        EXPECT_TRUE(dropped.Open()); // destroyed while open
    }
    EXPECT_EQ(CountOpenDescriptors(), before);
}

// How each setting shows on the port. A pseudo-terminal always reports 8 data bits and no
// parity enable, so those two are checked where the attributes are composed.
struct LineCase {
    const char* name;
    uint32_t baud, stopBits, parity;
    bool twoStop, oddParity;
};

class LineSettingsTest : public SerialTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineSettingsTest, ReachTheTerminal) {
    const LineCase& c = GetParam();
    SerialConfig config = ConfigFor(pty.SlavePath(), c.baud, 8, c.stopBits, c.parity);
    serial.Configure(&config);
    ASSERT_TRUE(serial.Open());
    serial.Close();

    termios t{};
    uint32_t rate = 0;
    ASSERT_TRUE(SlaveAttributes(pty, &t, &rate));
    EXPECT_EQ(rate, c.baud);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.oddParity);
    EXPECT_NE(t.c_iflag & INPCK, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, LineSettingsTest,
                         ::testing::Values(LineCase{"Default", 9600, 0, 0, false, false},
                                           LineCase{"TwoStopOdd", 115200, 2, 1, true, true},
                                           LineCase{"Even", 19200, 0, 2, false, false},
                                           LineCase{"Mark", 38400, 0, 3, false, true},
                                           LineCase{"Arbitrary", 250000, 0, 0, false, false},
                                           LineCase{"ArbitraryHigh", 1234567, 2, 0, true, false}),
                         [](const ::testing::TestParamInfo<LineCase>& info) {
                             return info.param.name;
                         });

TEST_F(SerialTest, StandardRateReplacesAnArbitraryOne) {
    // The terminal keeps its last rate, so the standard path must undo the arbitrary one.
    for (uint32_t baud : {250000u, 9600u, 31250u, 57600u}) {
        SerialConfig config = ConfigFor(pty.SlavePath(), baud);
        serial.Configure(&config);
        ASSERT_TRUE(serial.Open());
        serial.Close();
        termios t{};
        uint32_t rate = 0;
        ASSERT_TRUE(SlaveAttributes(pty, &t, &rate));
        EXPECT_EQ(rate, baud);
    }
}

TEST_F(SerialTest, SettingsTheLineCannotTakeFailOpen) {
    // One and a half stop bits, 9 data bits (the rest is covered where settings are made).
    const SerialConfig bad[] = {ConfigFor(pty.SlavePath(), 9600, 8, 1),
                                ConfigFor(pty.SlavePath(), 9600, 9)};
    for (const SerialConfig& c : bad) {
        serial.Configure(&c);
        EXPECT_FALSE(serial.Open());
        EXPECT_FALSE(serial.IsOpen());
    }
    // Nothing stayed held: the port opens with good settings.
    SerialConfig good = ConfigFor(pty.SlavePath());
    serial.Configure(&good);
    EXPECT_TRUE(serial.Open());
}

} // namespace
