// How the settings become terminal attributes, including the parts that a pseudo-terminal
// does not keep (data bits, parity enable) and so cannot be read back in the port tests.
#include "comm/posix/SerialLineSettings.h"

#include <gtest/gtest.h>

namespace {

SerialConfig Config(uint32_t dataBits, uint32_t stopBits, uint32_t parity) {
    SerialConfig c;
    c.dataBits = dataBits;
    c.stopBits = stopBits;
    c.parity = parity;
    return c;
}

// A terminal as a fresh tty comes up: cooked, echoing, with XON/XOFF and CR mapping.
termios Cooked(bool rtscts) {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | IGNPAR | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | CSTOPB | (rtscts ? CRTSCTS : 0);
    return t;
}

struct FramingCase {
    uint32_t dataBits, stopBits, parity;
    tcflag_t expected; // CSIZE | PARENB | PARODD | CMSPAR | CSTOPB bits
};

class FramingTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingTest, ComposesFrameBits) {
    const FramingCase& c = GetParam();
    SerialLineSettings s;
    ASSERT_TRUE(
        SerialLineSettings::Compose(Config(c.dataBits, c.stopBits, c.parity), Cooked(false), &s));
    EXPECT_EQ(s.attributes.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FramingTest,
                         ::testing::Values(FramingCase{8, 0, 0, CS8},
                                           FramingCase{7, 0, 2, CS7 | PARENB},
                                           FramingCase{5, 2, 1, CS5 | PARENB | PARODD | CSTOPB},
                                           FramingCase{6, 0, 3, CS6 | PARENB | CMSPAR | PARODD},
                                           FramingCase{8, 2, 4, CS8 | PARENB | CMSPAR | CSTOPB},
                                           // Only the low 8 bits of each code count.
                                           FramingCase{0x107, 0x200, 0x302, CS7 | PARENB}));

TEST(SerialLineSettings, RefusesWhatTheLineCannotDo) {
    const SerialConfig bad[] = {Config(8, 1, 0), Config(8, 3, 0), Config(4, 0, 0), Config(9, 0, 0),
                                Config(8, 0, 5)};
    for (const SerialConfig& c : bad) {
        SerialLineSettings s;
        s.baudRate = 77;
        EXPECT_FALSE(SerialLineSettings::Compose(c, Cooked(false), &s));
        EXPECT_EQ(s.baudRate, 77u); // untouched
    }
    SerialConfig zeroRate;
    zeroRate.baudRate = 0;
    SerialLineSettings s;
    EXPECT_FALSE(SerialLineSettings::Compose(zeroRate, Cooked(false), &s));
}

TEST(SerialLineSettings, RawLineKeepsHardwareFlowControl) {
    for (bool rtscts : {false, true}) {
        SerialLineSettings s;
        ASSERT_TRUE(SerialLineSettings::Compose(Config(8, 0, 0), Cooked(rtscts), &s));
        const termios& t = s.attributes;
        EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | IXANY | ISTRIP | IGNPAR), 0u);
        EXPECT_NE(t.c_iflag & INPCK, 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, rtscts);
    }
}

TEST(SerialLineSettings, ReadBackRateWithinUartTolerance) {
    SerialConfig config = Config(8, 0, 0);
    config.baudRate = 10000;
    SerialLineSettings s;
    ASSERT_TRUE(SerialLineSettings::Compose(config, Cooked(false), &s));
    EXPECT_TRUE(s.RateTaken(10000, 0));
    EXPECT_TRUE(s.RateTaken(10150, 9850)); // within a UART's tolerance
    EXPECT_FALSE(s.RateTaken(10300, 0));
    EXPECT_FALSE(s.RateTaken(10000, 9600));
    EXPECT_FALSE(s.RateTaken(0, 0));
}

TEST(SerialLineSettings, ReadBackThatDiffersIsARefusal) {
    SerialLineSettings s;
    ASSERT_TRUE(SerialLineSettings::Compose(Config(7, 2, 2), Cooked(false), &s));
    EXPECT_TRUE(s.TakenBy(s.attributes, false));

    termios eightNone = s.attributes; // what a pseudo-terminal reports
    eightNone.c_cflag = (eightNone.c_cflag & ~(CSIZE | PARENB)) | CS8;
    EXPECT_FALSE(s.TakenBy(eightNone, false));
    EXPECT_TRUE(s.TakenBy(eightNone, true));

    termios noXoff = s.attributes;
    noXoff.c_iflag |= IXOFF;
    EXPECT_FALSE(s.TakenBy(noXoff, true));
    termios oneStop = s.attributes;
    oneStop.c_cflag &= ~CSTOPB;
    EXPECT_FALSE(s.TakenBy(oneStop, true));
}

} // namespace
