#include "comm/posix/SerialLineSettings.h"

namespace {

struct StandardRate {
    uint32_t rate;
    speed_t code;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// The bits of each flag word that the composed settings decide and that must read back.
constexpr tcflag_t kInputFlags = IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                 IGNCR | ICRNL | IXON | IXOFF | IXANY;
constexpr tcflag_t kLocalFlags = ICANON | ECHO | ECHONL | ISIG | IEXTEN;
constexpr tcflag_t kFramingFlags = CSTOPB | PARODD | CMSPAR;
constexpr tcflag_t kSizeParityFlags = CSIZE | PARENB;

} // namespace

bool SerialLineSettings::Compose(const SerialConfig& config, const termios& reported,
                                 SerialLineSettings* out) {
    const uint32_t dataBits = config.dataBits & 0xFF;
    const uint32_t parity = config.parity & 0xFF;
    const uint32_t stopBits = config.stopBits & 0xFF;
    if (config.baudRate == 0)
        return false;

    tcflag_t size;
    switch (dataBits) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return false;
    }

    tcflag_t parityFlags;
    switch (parity) {
    case 0:
        parityFlags = 0;
        break;
    case 1:
        parityFlags = PARENB | PARODD;
        break;
    case 2:
        parityFlags = PARENB;
        break;
    case 3:
        parityFlags = PARENB | CMSPAR | PARODD;
        break;
    case 4:
        parityFlags = PARENB | CMSPAR;
        break;
    default:
        return false;
    }

    tcflag_t stopFlags;
    switch (stopBits) {
    case 0:
        stopFlags = 0;
        break;
    case 2:
        stopFlags = CSTOPB;
        break;
    default:
        return false;
    }

    termios t = reported;
    // Raw: without this the line discipline would swallow 0x11/0x13, turn 0x0D into
    // 0x0A and echo what the device sends back to it.
    cfmakeraw(&t);
    t.c_iflag &= ~(IXON | IXOFF | IXANY | IGNPAR);
    // Parity errors are checked (a bad byte reads as 0x00) whatever the parity setting.
    t.c_iflag |= INPCK;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    // CLOCAL: the carrier line must not hang the port up; CRTSCTS stays as reported.
    t.c_cflag |= size | parityFlags | stopFlags | CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    // A separate input rate left by an earlier arbitrary rate would outlive the new one.
    t.c_cflag &= ~CIBAUD;
    bool arbitrary = true;
    for (const StandardRate& r : kStandardRates) {
        if (r.rate == config.baudRate) {
            cfsetispeed(&t, r.code);
            cfsetospeed(&t, r.code);
            arbitrary = false;
            break;
        }
    }

    out->attributes = t;
    out->arbitraryRate = arbitrary;
    out->baudRate = config.baudRate;
    return true;
}

bool SerialLineSettings::TakenBy(const termios& readBack, bool pseudoTerminal) const {
    const termios& want = attributes;
    if ((want.c_iflag & kInputFlags) != (readBack.c_iflag & kInputFlags))
        return false;
    if ((want.c_oflag & OPOST) != (readBack.c_oflag & OPOST))
        return false;
    if ((want.c_lflag & kLocalFlags) != (readBack.c_lflag & kLocalFlags))
        return false;
    if ((want.c_cflag & kFramingFlags) != (readBack.c_cflag & kFramingFlags))
        return false;
    if (!pseudoTerminal &&
        (want.c_cflag & kSizeParityFlags) != (readBack.c_cflag & kSizeParityFlags)) {
        return false;
    }
    return true;
}

bool SerialLineSettings::RateTaken(uint32_t outputRate, uint32_t inputRate) const {
    auto close = [this](uint32_t rate) {
        const uint64_t want = baudRate;
        const uint64_t diff = rate > want ? rate - want : want - rate;
        return diff * 50 <= want;
    };
    // An input rate of 0 means "same as output".
    return close(outputRate) && (inputRate == 0 || close(inputRate));
}
