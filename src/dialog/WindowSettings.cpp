#include "dialog/WindowSettings.h"

#include <array>

#include "dialog/ISettingsStore.h"

namespace {

constexpr std::array<uint32_t, 8> kBaudRates = {1200,  2400,  4800,  9600,
                                                19200, 38400, 57600, 115200};

// A whole value of 1 to 10 decimal digits, nothing else; false otherwise.
bool ParseDigits(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > 10)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// Text a single-line field can hold: well-formed UTF-8, no control characters, not
// longer than the limit.
bool IsFieldText(const std::string& text) {
    if (text.size() > WindowSettings::kMaxTextBytes)
        return false;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7F)
                return false;
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t point = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            point = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            point = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            point = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = (point << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode's end are not UTF-8.
        static constexpr uint32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kMinimum[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// Reads key into field when its value is a clean field text.
void ReadText(const ISettingsStore& store, const char* key, std::string& field) {
    std::string value;
    if (store.Read(key, value) && IsFieldText(value))
        field = value;
}

// Reads key as digits within range; field keeps its default otherwise.
template <typename T>
void ReadNumber(const ISettingsStore& store, const char* key, WindowSettings::Range range,
                T& field) {
    std::string text;
    int64_t value = 0;
    if (store.Read(key, text) && ParseDigits(text, value) && range.Contains(value))
        field = static_cast<T>(value);
}

// A numeric edit stored as its text: taken when it is digits within range, written
// back in canonical form (no leading zeros).
void ReadNumberText(const ISettingsStore& store, const char* key, WindowSettings::Range range,
                    std::string& field) {
    int64_t value = -1;
    ReadNumber(store, key, range, value);
    if (value >= 0)
        field = std::to_string(value);
}

constexpr WindowSettings::Range kPortRange{0, 65535};
constexpr WindowSettings::Range kIndexRange{0, 2};
constexpr WindowSettings::Range kAnyCount{0, INT32_MAX};

} // namespace

bool WindowSettings::IsListedBaudRate(uint32_t baudRate) {
    for (uint32_t listed : kBaudRates) {
        if (listed == baudRate)
            return true;
    }
    return false;
}

WindowSettings WindowSettings::Load(const ISettingsStore& store) {
    WindowSettings s;
    ReadNumber(store, "protocol", kIndexRange, s.protocol);
    ReadNumber(store, "transport", Range{0, 3}, s.transport);

    // The address keeps its low 8 bits, as a typed one does (300 is 44).
    int64_t address = -1;
    ReadNumber(store, "address", kAnyCount, address);
    if (address >= 0)
        s.address = std::to_string(address & 0xFF);

    ReadText(store, "serial/port", s.serialPort);
    uint32_t baud = 0;
    ReadNumber(store, "serial/baud", kAnyCount, baud);
    if (IsListedBaudRate(baud))
        s.baudRate = baud;
    ReadNumber(store, "serial/dataBits", Range{5, 8}, s.dataBits);
    ReadNumber(store, "serial/stopBits", kIndexRange, s.stopBitsIndex);
    ReadNumber(store, "serial/parity", kIndexRange, s.parityIndex);

    ReadText(store, "tcp/server", s.tcpServer);
    ReadNumberText(store, "tcp/port", kPortRange, s.tcpPort);
    ReadText(store, "udp/localIp", s.udpLocalIp);
    ReadNumberText(store, "udp/localPort", kPortRange, s.udpLocalPort);
    ReadText(store, "udp/remoteIp", s.udpRemoteIp);
    ReadNumberText(store, "udp/remotePort", kPortRange, s.udpRemotePort);

    int32_t poll = -1;
    ReadNumber(store, "poll/enabled", Range{0, 1}, poll);
    if (poll >= 0)
        s.pollEnabled = poll == 1;
    // A short interval is raised as a typed one is when the poll starts.
    int64_t interval = -1;
    ReadNumber(store, "poll/intervalMs", kAnyCount, interval);
    if (interval >= 0)
        s.pollInterval = std::to_string(interval < kMinPollInterval ? kMinPollInterval : interval);

    ReadNumber(store, "link/receiveTimeoutMs", kReceiveTimeoutRange, s.receiveTimeout);
    ReadNumber(store, "link/retryCount", kRetryCountRange, s.retryCount);
    ReadNumber(store, "link/heartbeatTimeoutMs", kHeartbeatTimeoutRange, s.heartbeatTimeout);
    int32_t loopback = -1;
    ReadNumber(store, "selfTest/loopback", Range{0, 1}, loopback);
    s.selfTestLoopback = loopback == 1;
    return s;
}

void WindowSettings::Save(ISettingsStore& store) const {
    auto number = [&store](const char* key, int64_t value) {
        store.Write(key, std::to_string(value));
    };
    number("protocol", static_cast<int32_t>(protocol));
    number("transport", static_cast<int32_t>(transport));
    store.Write("address", address);
    store.Write("serial/port", serialPort);
    number("serial/baud", baudRate);
    number("serial/dataBits", dataBits);
    number("serial/stopBits", stopBitsIndex);
    number("serial/parity", parityIndex);
    store.Write("tcp/server", tcpServer);
    store.Write("tcp/port", tcpPort);
    store.Write("udp/localIp", udpLocalIp);
    store.Write("udp/localPort", udpLocalPort);
    store.Write("udp/remoteIp", udpRemoteIp);
    store.Write("udp/remotePort", udpRemotePort);
    number("poll/enabled", pollEnabled ? 1 : 0);
    store.Write("poll/intervalMs", pollInterval);
    number("link/receiveTimeoutMs", receiveTimeout);
    number("link/retryCount", retryCount);
    number("link/heartbeatTimeoutMs", heartbeatTimeout);
    number("selfTest/loopback", selfTestLoopback ? 1 : 0);
}

bool WindowSettings::operator==(const WindowSettings& o) const {
    return protocol == o.protocol && transport == o.transport && address == o.address &&
           serialPort == o.serialPort && baudRate == o.baudRate && dataBits == o.dataBits &&
           stopBitsIndex == o.stopBitsIndex && parityIndex == o.parityIndex &&
           tcpServer == o.tcpServer && tcpPort == o.tcpPort && udpLocalIp == o.udpLocalIp &&
           udpLocalPort == o.udpLocalPort && udpRemoteIp == o.udpRemoteIp &&
           udpRemotePort == o.udpRemotePort && pollEnabled == o.pollEnabled &&
           pollInterval == o.pollInterval && receiveTimeout == o.receiveTimeout &&
           retryCount == o.retryCount && heartbeatTimeout == o.heartbeatTimeout &&
           selfTestLoopback == o.selfTestLoopback;
}
