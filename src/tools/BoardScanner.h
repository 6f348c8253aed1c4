#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/DeviceConfig.h"

class Device;

// One board that answered.
struct ScanHit {
    ProtocolType protocol = ProtocolType::ModbusRtu;
    uint8_t address = 0;
    bool serial = false; // baudRate and parity are meaningful only on a serial port
    uint32_t baudRate = 0;
    uint32_t parity = 0; // 0 none, 1 odd, 2 even
};

// One board found: an address on one line setting, with every protocol it answered there,
// in the order they answered.
struct ScanBoard {
    uint8_t address = 0;
    bool serial = false;
    uint32_t baudRate = 0;
    uint32_t parity = 0;
    std::vector<ProtocolType> protocols;

    bool Answered(ProtocolType protocol) const;
};

// The hits grouped by board (address and line setting), in the order each board was
// first found.
std::vector<ScanBoard> GroupByBoard(const std::vector<ScanHit>& hits);

// What to search through.
struct ScanPlan {
    std::vector<ProtocolType> protocols = {ProtocolType::ModbusRtu, ProtocolType::ModbusTcp,
                                           ProtocolType::Protocol55};
    // The address range; 0 means the protocol's own: 1..247 for Modbus, 1..255 for 0x55.
    int32_t fromAddress = 0;
    int32_t toAddress = 0;
    // Serial only: the line settings to try, each baud rate with each parity. Empty: only
    // the configured settings.
    std::vector<uint32_t> baudRates;
    std::vector<uint32_t> parities = {0, 2, 1};
    // The wait for each answer; 0 chooses it from the baud rate (network: kNetworkWaitMs).
    int32_t waitMs = 0;
    bool stopAtFirst = false;

    static std::vector<uint32_t> DefaultBaudRates() {
        return {9600, 19200, 38400, 57600, 115200, 4800, 2400, 1200};
    }
};

// Finds boards by asking each address of a range with one short read, for each protocol
// and, on a serial port, each line setting. An answer (an exception too) counts once a
// second request to that address is answered as well, so that a late answer to an
// earlier address is not taken for a board. Each Step() is one request, so that a window
// can run it a step at a time or on a worker thread; Run() does it all.
class BoardScanner {
public:
    static constexpr int32_t kNetworkWaitMs = 50;

    // The device's transport settings come from `base`; the device is reconfigured and
    // reconnected as the search goes, and left disconnected with `base` at the end.
    BoardScanner(Device& device, const DeviceConfig& base, ScanPlan plan);

    // Sends the next request; false once the search has ended.
    bool Step();
    // Runs every step; stops early when *stop becomes true. progress(done, total) follows
    // each step, and onHit each board found.
    std::vector<ScanHit> Run(const std::atomic<bool>* stop = nullptr,
                             const std::function<void(int64_t, int64_t)>& progress = {},
                             const std::function<void(const ScanHit&)>& onHit = {});
    void Cancel() { cancelRequested = true; } // any thread

    const std::vector<ScanHit>& Hits() const { return hits; }
    // The request the last Step() sent: its protocol, address and line setting.
    const ScanHit& Asked() const { return asked; }
    // Non-empty when the transport could not be opened with any of the line settings.
    const std::string& Error() const { return error; }
    bool Cancelled() const { return cancelled; }
    int64_t ProbesDone() const { return probesDone; }
    int64_t ProbesTotal() const { return probesTotal; }

    // The wait for one answer at a baud rate (0: a network transport).
    static int32_t WaitMs(uint32_t baudRate, int32_t configuredWaitMs);
    // The longest a whole search with this plan can take, in seconds, when nothing answers.
    static double WorstCaseSeconds(const ScanPlan& plan, CommType commType);

private:
    struct Setting {
        uint32_t baudRate;
        uint32_t parity;
    };
    static std::vector<Setting> Settings(const ScanPlan& plan, const DeviceConfig& base);
    static void AddressRange(const ScanPlan& plan, ProtocolType protocol, int32_t& from,
                             int32_t& to);
    bool Answers(uint8_t target);
    bool OpenSetting();
    void Finish();

    Device& device;
    const DeviceConfig base;
    const ScanPlan plan;
    const std::vector<Setting> settings;
    size_t settingIndex = 0;
    size_t protocolIndex = 0;
    int32_t address = -1; // -1: the setting or protocol is still to be opened
    int32_t lastAddress = 0;
    DeviceConfig current;
    std::vector<ScanHit> hits;
    ScanHit asked;
    std::string error;
    std::atomic<bool> cancelRequested{false};
    bool cancelled = false;
    bool finished = false;
    size_t settingsRefused = 0;
    int64_t probesPerSetting = 0;
    int64_t probesDone = 0;
    int64_t probesTotal = 0;
};
