#include "tools/BoardScanner.h"

#include <algorithm>
#include <mutex>

#include "device/Device.h"
#include "tools/LinkStatistics.h"

namespace {

// A request and an answer of a one-point read are at most 8 bytes each in every protocol
// but Modbus TCP's 12-byte request, which no serial board expects. With a parity bit a
// byte is 11 bits on the wire.
constexpr int32_t kWireBits = 16 * 11;
// What a board may take to turn round, on top of the wire time.
constexpr int32_t kTurnaroundMs = 20;
// Opening a transport, counted once per line setting in the worst case.
constexpr double kOpenSeconds = 0.1;
// Building, sending, logging and parsing one request, on top of its wait (a full serial
// search of 17,976 requests took 3.6 s more than its waits).
constexpr double kProbeSeconds = 0.001;

} // namespace

bool ScanBoard::Answered(ProtocolType protocol) const {
    return std::find(protocols.begin(), protocols.end(), protocol) != protocols.end();
}

std::vector<ScanBoard> GroupByBoard(const std::vector<ScanHit>& hits) {
    std::vector<ScanBoard> boards;
    for (const ScanHit& hit : hits) {
        auto same = std::find_if(boards.begin(), boards.end(), [&hit](const ScanBoard& b) {
            return b.address == hit.address && b.serial == hit.serial &&
                   b.baudRate == hit.baudRate && b.parity == hit.parity;
        });
        if (same == boards.end())
            same = boards.insert(boards.end(),
                                 ScanBoard{hit.address, hit.serial, hit.baudRate, hit.parity, {}});
        if (!same->Answered(hit.protocol))
            same->protocols.push_back(hit.protocol);
    }
    return boards;
}

BoardScanner::BoardScanner(Device& device, const DeviceConfig& base, ScanPlan plan)
    : device(device), base(base), plan(std::move(plan)), settings(Settings(this->plan, base)),
      current(base) {
    for (ProtocolType protocol : this->plan.protocols) {
        int32_t from = 0, to = 0;
        AddressRange(this->plan, protocol, from, to);
        probesPerSetting += to - from + 1;
    }
    probesTotal = probesPerSetting * static_cast<int64_t>(settings.size());
    current.retryCount = 1;
    // Every hit is asked twice, so a late answer cannot pass for a board: waiting for the
    // line to fall quiet after each silent address would double the search for nothing.
    current.settleAfterFailure = false;
    finished = probesTotal <= 0;
}

std::vector<BoardScanner::Setting> BoardScanner::Settings(const ScanPlan& plan,
                                                          const DeviceConfig& base) {
    if (base.commType != CommType::Serial || plan.baudRates.empty())
        return {{base.serial.baudRate, base.serial.parity}};
    std::vector<Setting> list;
    for (uint32_t baud : plan.baudRates) {
        for (uint32_t parity : plan.parities)
            list.push_back({baud, parity});
    }
    return list;
}

void BoardScanner::AddressRange(const ScanPlan& plan, ProtocolType protocol, int32_t& from,
                                int32_t& to) {
    from = plan.fromAddress > 0 ? plan.fromAddress : 1;
    to = plan.toAddress > 0 ? plan.toAddress : (protocol == ProtocolType::Protocol55 ? 255 : 247);
}

int32_t BoardScanner::WaitMs(uint32_t baudRate, int32_t configuredWaitMs) {
    if (configuredWaitMs > 0)
        return configuredWaitMs;
    if (baudRate == 0)
        return kNetworkWaitMs;
    return kTurnaroundMs + static_cast<int32_t>((kWireBits * 1000 + baudRate - 1) / baudRate);
}

double BoardScanner::WorstCaseSeconds(const ScanPlan& plan, CommType commType) {
    DeviceConfig config;
    config.commType = commType;
    double seconds = 0;
    for (const Setting& setting : Settings(plan, config)) {
        const uint32_t baud = commType == CommType::Serial ? setting.baudRate : 0;
        seconds += kOpenSeconds;
        for (ProtocolType protocol : plan.protocols) {
            int32_t from = 0, to = 0;
            AddressRange(plan, protocol, from, to);
            seconds += (to - from + 1) * (WaitMs(baud, plan.waitMs) / 1000.0 + kProbeSeconds);
        }
    }
    return seconds;
}

bool BoardScanner::Step() {
    if (finished)
        return false;
    if (cancelRequested) {
        cancelled = true;
        Finish();
        return false;
    }
    if (address < 0) {
        if (protocolIndex == 0 && !OpenSetting()) {
            // Some ports refuse some line settings; the others may still find the board.
            probesDone += probesPerSetting;
            if (++settingsRefused == settings.size())
                error = "cannot open the transport";
            if (++settingIndex == settings.size()) {
                Finish();
                return false;
            }
            return true;
        }
        const ProtocolType protocol = plan.protocols[protocolIndex];
        current.protocolType = protocol;
        device.SetProtocol(protocol);
        device.SetConfig(current);
        AddressRange(plan, protocol, address, lastAddress);
    }

    asked.protocol = current.protocolType;
    asked.address = static_cast<uint8_t>(address);
    asked.serial = current.commType == CommType::Serial;
    asked.baudRate = asked.serial ? current.serial.baudRate : 0;
    asked.parity = asked.serial ? current.serial.parity : 0;
    ++probesDone;
    if (Answers(asked.address) && Answers(asked.address)) {
        hits.push_back(asked);
        if (plan.stopAtFirst) {
            Finish();
            return false;
        }
    }

    if (++address > lastAddress) {
        address = -1;
        if (++protocolIndex == plan.protocols.size()) {
            protocolIndex = 0;
            if (++settingIndex == settings.size()) {
                Finish();
                return false;
            }
        }
    }
    return true;
}

std::vector<ScanHit> BoardScanner::Run(const std::atomic<bool>* stop,
                                       const std::function<void(int64_t, int64_t)>& progress,
                                       const std::function<void(const ScanHit&)>& onHit) {
    for (;;) {
        if (stop != nullptr && stop->load())
            Cancel();
        const size_t before = hits.size();
        const bool more = Step();
        if (onHit && hits.size() > before)
            onHit(hits.back());
        if (progress)
            progress(probesDone, probesTotal);
        if (!more)
            return hits;
    }
}

bool BoardScanner::OpenSetting() {
    const Setting& setting = settings[settingIndex];
    current.serial.baudRate = setting.baudRate;
    current.serial.parity = setting.parity;
    current.receiveTimeout =
        WaitMs(current.commType == CommType::Serial ? setting.baudRate : 0, plan.waitMs);
    // A connected device ignores Connect, so new line settings need a fresh connection.
    device.Disconnect();
    device.SetConfig(current);
    return device.Connect();
}

bool BoardScanner::Answers(uint8_t target) {
    current.slaveAddress = target;
    device.SetConfig(current);
    const OperationResult result = device.ReadCoils(0, 1);
    // An exception answer is a board too: it is there, it just refuses the request.
    return result.success ||
           LinkStatistics::Classify(result) == TransactionOutcome::DeviceException;
}

void BoardScanner::Finish() {
    finished = true;
    device.Disconnect();
    device.SetProtocol(base.protocolType);
    device.SetConfig(base);
}
