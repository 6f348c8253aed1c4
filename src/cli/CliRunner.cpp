#include "cli/CliRunner.h"

#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>

#include "cli/InterruptWatch.h"
#include "cli/SerialPortDiagnosis.h"
#include "tools/SelfTest.h"

namespace {

using nlohmann::json;

const char* ProtocolName(ProtocolType protocol) {
    switch (protocol) {
    case ProtocolType::ModbusRtu:
        return "rtu";
    case ProtocolType::ModbusTcp:
        return "tcp";
    case ProtocolType::Protocol55:
        return "55";
    }
    return "?";
}

const char* ParityName(uint32_t parity) {
    return parity == 1 ? "odd" : parity == 2 ? "even" : "none";
}

// Point 0 first: "1000...".
std::string Bits(const std::vector<int>& states) {
    std::string text;
    for (int state : states)
        text += state != 0 ? '1' : '0';
    return text;
}

} // namespace

CliRunner::CliRunner(const CliSettings& settings, std::ostream& out, std::ostream& err)
    : settings(settings), out(out), err(err) {
    {
        std::lock_guard<std::recursive_mutex> guard(device.GetLock());
        device.SetProtocol(settings.device.protocolType);
    }
    if (settings.verbose)
        device.SetCallback(this);
    device.SetTransactionObserver(&statistics);
    device.SetConfig(settings.device);
}

CliRunner::~CliRunner() {
    device.SetCallback(nullptr); // the destructor's disconnect is not news
}

int CliRunner::Run() {
    if (int status = Connect(); status >= 0)
        return status;
    int status = 0;
    switch (settings.command) {
    case CliSettings::Command::Read:
        status = Read();
        break;
    case CliSettings::Command::Write:
        status = Write();
        break;
    case CliSettings::Command::Poll:
        status = Poll();
        break;
    case CliSettings::Command::SelfTest:
        status = RunSelfTest();
        break;
    case CliSettings::Command::Scan:
        status = Scan();
        break;
    }
    if (settings.stats)
        PrintStatistics();
    return status;
}

int CliRunner::Connect() {
    if (device.Connect())
        return -1;
    switch (settings.device.commType) {
    case CommType::Serial: {
        const std::string reason = DiagnoseSerialPort(settings.device.serial.portName);
        return Fail(2, reason.empty() ? "cannot open serial port " + settings.where : reason);
    }
    case CommType::Tcp:
        return Fail(1, "cannot connect to " + settings.where + " (nothing listens there?)");
    default:
        return Fail(2, "cannot open a UDP socket for " + settings.where +
                           " (is the --local address this machine's, and its port free?)");
    }
}

int CliRunner::Read() {
    const auto start = static_cast<uint8_t>(settings.start);
    const auto count = static_cast<uint8_t>(settings.count);
    const OperationResult result =
        settings.inputs ? device.ReadInputs(start, count) : device.ReadCoils(start, count);
    if (!result.success)
        return Fail(1, "read failed: " + result.message);
    std::vector<int> states;
    for (int i = settings.start; i < settings.start + settings.count; ++i)
        states.push_back(settings.inputs ? device.GetCachedInput(i) : device.GetCachedCoil(i));
    const char* kind = settings.inputs ? "inputs" : "coils";
    if (settings.json) {
        out << json{{kind, states}, {"start", settings.start}}.dump() << "\n";
    } else {
        out << kind << ":";
        for (size_t i = 0; i < states.size(); ++i)
            out << (i == 0 ? " " : ", ") << settings.start + static_cast<int>(i) << ":"
                << (states[i] != 0 ? "ON" : "OFF");
        out << "\n";
    }
    return 0;
}

int CliRunner::Write() {
    const auto coil = static_cast<uint8_t>(settings.coil);
    const uint8_t wanted = settings.on ? 1 : 0;
    // The 0x55 protocol only toggles: look first, so that "on" never switches a coil off.
    if (settings.device.protocolType == ProtocolType::Protocol55) {
        const OperationResult look = device.ReadCoils(0, 32);
        if (!look.success)
            return Fail(1, "read failed: " + look.message);
    }
    if (settings.device.protocolType != ProtocolType::Protocol55 ||
        device.GetCachedCoil(coil) != wanted) {
        const OperationResult result = device.WriteCoil(coil, wanted);
        if (!result.success)
            return Fail(1, "write failed: " + result.message);
    }
    const bool on = device.GetCachedCoil(coil) != 0;
    if (settings.json)
        out << json{{"coil", settings.coil}, {"on", on}}.dump() << "\n";
    else
        out << "coil " << settings.coil << ": " << (on ? "ON" : "OFF") << "\n";
    if (device.GetCachedCoil(coil) != wanted)
        return Fail(1, "coil " + std::to_string(settings.coil) + " did not switch");
    return 0;
}

int CliRunner::Poll() {
    const bool withInputs = settings.device.protocolType != ProtocolType::Protocol55;
    bool allAnswered = true;
    for (int64_t round = 0; settings.rounds == 0 || round < settings.rounds; ++round) {
        if (round > 0 && InterruptWatch::WaitFor(settings.intervalMs))
            break;
        const OperationResult coils = device.ReadCoils(0, 32);
        OperationResult inputs;
        inputs.success = true;
        if (withInputs)
            inputs = device.ReadInputs(0, 32);
        if (!coils.success || !inputs.success) {
            allAnswered = false;
            err << "vornak-cli: poll: " << (coils.success ? inputs.message : coils.message) << "\n";
            continue;
        }
        std::vector<int> c, i;
        for (int k = 0; k < 32; ++k) {
            c.push_back(device.GetCachedCoil(k));
            i.push_back(device.GetCachedInput(k));
        }
        if (settings.json) {
            json line{{"coils", c}, {"start", 0}};
            if (withInputs)
                line["inputs"] = i;
            out << line.dump() << "\n";
        } else {
            out << "coils: " << Bits(c);
            if (withInputs)
                out << "  inputs: " << Bits(i);
            out << "\n";
        }
        out.flush();
        if (InterruptWatch::Flag())
            break;
    }
    return allAnswered ? 0 : 1;
}

int CliRunner::RunSelfTest() {
    SelfTest test(device, settings.loopback);
    const SelfTestReport report = test.Run(&InterruptWatch::Flag());
    auto list = [](const std::vector<PointVerdict>& verdicts, const char* key) {
        json items = json::array();
        for (size_t k = 0; k < verdicts.size(); ++k)
            items.push_back(
                {{key, k}, {"ok", verdicts[k].Ok()}, {"reason", DescribeVerdict(verdicts[k])}});
        return items;
    };
    const char* ends[] = {"running",
                          "finished",
                          "cancelled",
                          "the board fell silent",
                          "the connection was lost",
                          "the starting states were refused"};
    const std::string end = ends[static_cast<int>(report.end)];
    char before[16], after[16];
    std::snprintf(before, sizeof before, "%08X", static_cast<unsigned>(report.coilsBefore));
    std::snprintf(after, sizeof after, "%08X", static_cast<unsigned>(report.coilsAfter));
    if (settings.json) {
        json result{{"passed", report.Passed()},
                    {"coils", list(report.coils, "coil")},
                    {"inputs", list(report.inputs, "input")},
                    {"end", end},
                    {"restored", report.restored},
                    {"coils_before", before},
                    {"seconds", report.seconds}};
        if (report.endRead)
            result["coils_after"] = after;
        out << result.dump() << "\n";
    } else {
        for (const auto& [verdicts, word] :
             {std::pair(&report.coils, "coil"), std::pair(&report.inputs, "input")}) {
            for (size_t k = 0; k < verdicts->size(); ++k) {
                if (!(*verdicts)[k].Ok())
                    out << word << " " << k << ": " << DescribeVerdict((*verdicts)[k]) << "\n";
            }
        }
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", report.seconds);
        out << "self-test " << (report.Passed() ? "passed" : "failed") << " (" << end << ", "
            << report.FailedCount() << " faults, coils "
            << (report.restored ? "restored" : "NOT restored") << ") in " << seconds << " s\n";
        // A board left in another state than before is said plainly, coil by coil.
        if (!report.restored && report.endRead) {
            out << "coils NOT restored: before " << before << ", now " << after;
            for (int32_t k : report.CoilsNotRestored())
                out << "; coil " << k << " " << ((report.coilsAfter >> k & 1u) ? "ON" : "OFF");
            out << "\n";
        } else if (!report.restored) {
            out << "coils NOT restored: they could not be read back (before " << before << ")\n";
        }
    }
    if (report.end == SelfTestEnd::Cancelled)
        err << "vornak-cli: self-test interrupted\n";
    return report.Passed() ? 0 : 1;
}

int CliRunner::Scan() {
    BoardScanner scanner(device, settings.device, settings.scan);
    json found = json::array();
    scanner.Run(&InterruptWatch::Flag(), {}, [&](const ScanHit& hit) {
        json item{{"address", hit.address}, {"protocol", ProtocolName(hit.protocol)}};
        if (hit.serial) {
            item["baud"] = hit.baudRate;
            item["parity"] = ParityName(hit.parity);
        }
        found.push_back(item);
        if (!settings.json) {
            out << "found: address " << int(hit.address) << ", protocol "
                << ProtocolName(hit.protocol);
            if (hit.serial)
                out << ", " << hit.baudRate << " baud, parity " << ParityName(hit.parity);
            out << "\n";
            out.flush();
        }
    });
    if (!scanner.Error().empty())
        return Fail(settings.device.commType == CommType::Serial ? 2 : 1,
                    "scan: " + scanner.Error());
    if (settings.json)
        out << json{{"found", found}}.dump() << "\n";
    else
        out << found.size() << " found" << (scanner.Cancelled() ? " (interrupted)" : "") << "\n";
    return found.empty() ? 1 : 0;
}

void CliRunner::PrintStatistics() {
    const LinkStatisticsSnapshot s = statistics.Snapshot();
    if (settings.json) {
        json counts;
        for (int32_t i = 0; i < kTransactionOutcomeCount; ++i) {
            std::string name = OutcomeName(static_cast<TransactionOutcome>(i));
            std::replace(name.begin(), name.end(), ' ', '_');
            counts[name] = s.counts[static_cast<size_t>(i)];
        }
        out << json{{"statistics",
                     {{"transactions", s.transactions},
                      {"outcomes", counts},
                      {"round_trip_ms",
                       {{"samples", s.roundTrips},
                        {"min", s.minMs},
                        {"mean", s.meanMs},
                        {"p95", s.p95Ms},
                        {"max", s.maxMs}}}}}}
                   .dump()
            << "\n";
        return;
    }
    out << "statistics: " << s.transactions << " transactions";
    for (int32_t i = 0; i < kTransactionOutcomeCount; ++i)
        out << (i == 0 ? ": " : ", ") << OutcomeName(static_cast<TransactionOutcome>(i)) << " "
            << s.counts[static_cast<size_t>(i)];
    char times[160];
    std::snprintf(times, sizeof times,
                  "; round trip over the last %d answers: min %.3f, mean %.3f, p95 %.3f, max "
                  "%.3f ms",
                  s.roundTrips, s.minMs, s.meanMs, s.p95Ms, s.maxMs);
    out << times << "\n";
}

int CliRunner::Fail(int status, const std::string& message) {
    err << "vornak-cli: " << message << "\n";
    return status;
}

void CliRunner::OnLog(const std::string& text, bool) {
    err << text << "\n";
}

void CliRunner::OnOperationResult(const OperationResult& result, uint8_t functionCode) {
    if (result.success)
        return;
    char line[64];
    std::snprintf(line, sizeof line, "操作失败 [0x%02X]: ", functionCode);
    err << line << result.message << "\n";
}
