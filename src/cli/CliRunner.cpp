#include "cli/CliRunner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "cli/InterruptWatch.h"
#include "cli/PollRecording.h"
#include "cli/ProgressLine.h"
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

const char* CommandName(CliSettings::Command command) {
    const char* names[] = {"read", "write", "poll", "wait", "selftest", "scan"};
    return names[static_cast<int>(command)];
}

// Switches without a default, so that a new value of either enumeration is a warning here.
const char* EndName(SelfTestEnd end) {
    switch (end) {
    case SelfTestEnd::Running:
        return "running";
    case SelfTestEnd::Finished:
        return "finished";
    case SelfTestEnd::Cancelled:
        return "cancelled";
    case SelfTestEnd::BoardSilent:
        return "board_silent";
    case SelfTestEnd::ConnectionLost:
        return "connection_lost";
    case SelfTestEnd::Refused:
        return "refused";
    }
    return "unknown";
}

const char* FaultName(PointFault fault) {
    switch (fault) {
    case PointFault::None:
        return "none";
    case PointFault::NotTested:
        return "not_tested";
    case PointFault::BadAnswer:
        return "bad_answer";
    case PointFault::DidNotSwitchOn:
        return "did_not_switch_on";
    case PointFault::DidNotSwitchOff:
        return "did_not_switch_off";
    case PointFault::OtherCoilMoved:
        return "other_coil_moved";
    case PointFault::DidNotFollow:
        return "did_not_follow";
    case PointFault::MovedWithOtherCoil:
        return "moved_with_other_coil";
    }
    return "unknown";
}

// UTC with milliseconds: "2026-12-07T12:34:56.789Z".
std::string Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char text[40];
    const size_t length =
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(ms));
    return text;
}

// The board's exception code for a refusal, otherwise the operation's own code.
int32_t ErrorCode(const OperationResult& result) {
    return result.kind == ErrorKind::Exception ? result.exceptionCode : result.code;
}

json ErrorJson(const OperationResult& result) {
    return {{"kind", ErrorKindName(result.kind)},
            {"code", ErrorCode(result)},
            {"text", result.message}};
}

// Point 0 first: "1000...".
std::string Bits(const std::vector<bool>& states) {
    std::string text;
    for (bool state : states)
        text += state ? '1' : '0';
    return text;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string Plural(int64_t count, const std::string& word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

} // namespace

CliRunner::CliRunner(const CliSettings& settings, std::ostream& out, std::ostream& err)
    : settings(settings), out(out), err(err) {
    device.SetProtocol(settings.device.protocolType);
    if (settings.verbose)
        device.SetCallback(this);
    device.SetTransactionObserver(&statistics);
    device.SetConfig(settings.device);
}

CliRunner::~CliRunner() {
    device.SetCallback(nullptr); // the destructor's disconnect is not news
}

int CliRunner::Run() {
    const bool lines = settings.command == CliSettings::Command::Poll ||
                       settings.command == CliSettings::Command::Wait;
    document = {{"command", CommandName(settings.command)}};
    int status = Connect();
    if (status < 0) {
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
        case CliSettings::Command::Wait:
            status = Wait();
            break;
        case CliSettings::Command::SelfTest:
            status = RunSelfTest();
            break;
        case CliSettings::Command::Scan:
            status = Scan();
            break;
        }
    }
    if (lines) {
        // The reader may go while the last round was read; it got what it wanted.
        outputClosed = outputClosed || InterruptWatch::OutputGone();
        json end{{"type", "end"}, {"time", Now()}};
        end.update(document);
        document = end;
    }
    document["ok"] = status == 0;
    document["interrupted"] = interrupted;
    if (settings.json)
        EmitJson(document);
    else if (settings.stats)
        PrintStatistics();
    if (outputClosed && lines)
        return 0;
    if (outputClosed || outputFailed) {
        err << "vornak-cli: cannot write the results to standard output"
            << (outputClosed ? " (its reader has gone)" : "") << "\n";
        return 1;
    }
    return status;
}

bool CliRunner::Emit(const std::string& text) {
    if (outputClosed || outputFailed)
        return false;
    errno = 0;
    out << text << std::flush;
    if (out)
        return true;
    (errno == EPIPE ? outputClosed : outputFailed) = true;
    return false;
}

bool CliRunner::EmitJson(json line, bool last) {
    if (last && settings.stats)
        line["statistics"] = Statistics();
    return Emit(line.dump() + "\n");
}

int CliRunner::Connect() {
    if (device.Connect())
        return -1;
    const char* kind = ErrorKindName(ErrorKind::NotConnected);
    switch (settings.device.commType) {
    case CommType::Serial: {
        const std::string reason = DiagnoseSerialPort(settings.device.serial.portName);
        return Fail(2, reason.empty() ? "cannot open serial port " + settings.where : reason, kind);
    }
    case CommType::Tcp:
        return Fail(
            1, "cannot connect to " + settings.where + " (unknown host, or nothing listens there?)",
            kind);
    default:
        if (!settings.local.empty())
            return Fail(2,
                        "cannot bind the UDP socket to --local " + settings.local +
                            " (is it this machine's address, and its port free?)",
                        kind);
        return Fail(2, "cannot open a UDP socket for " + settings.where + " (unknown host?)", kind);
    }
}

int CliRunner::Read() {
    const auto start = static_cast<uint8_t>(settings.start);
    const auto count = static_cast<uint8_t>(settings.count);
    const char* table = settings.inputs ? "inputs" : "coils";
    document["points"] = table;
    document["start"] = settings.start;
    const OperationResult result =
        settings.inputs ? device.ReadInputs(start, count) : device.ReadCoils(start, count);
    if (!result.success)
        return Fail(1, "read failed", result);
    std::vector<bool> states;
    for (int i = settings.start; i < settings.start + settings.count; ++i)
        states.push_back((settings.inputs ? device.GetCachedInput(i) : device.GetCachedCoil(i)) !=
                         0);
    document["states"] = states;
    if (!settings.json) {
        std::string line = std::string(table) + ":";
        for (size_t i = 0; i < states.size(); ++i)
            line += (i == 0 ? " " : ", ") + std::to_string(settings.start + static_cast<int>(i)) +
                    ":" + (states[i] ? "ON" : "OFF");
        Emit(line + "\n");
    }
    return 0;
}

int CliRunner::Write() {
    // The 0x55 protocol only toggles: look first, so that "on" never switches a coil off.
    const bool toggles = settings.device.protocolType == ProtocolType::Protocol55;
    if (toggles) {
        const OperationResult look = device.ReadCoils(0, 32);
        if (!look.success)
            return Fail(1, "read failed", look);
    }
    bool wanted[32] = {};
    std::vector<int32_t> order; // each coil once, as first named
    for (const auto& [coil, on] : settings.writes) {
        const auto index = static_cast<uint8_t>(coil);
        if (std::find(order.begin(), order.end(), coil) == order.end())
            order.push_back(coil);
        wanted[coil] = on;
        if (!toggles || (device.GetCachedCoil(index) != 0) != on) {
            const OperationResult result = device.WriteCoil(index, on ? 1 : 0);
            if (!result.success)
                return Fail(1, "write coil " + std::to_string(coil) + " failed", result);
        }
    }
    // A write's echo only repeats the request: the coils as they are come from a read.
    if (settings.verify) {
        const OperationResult check = device.ReadCoils(0, 32);
        if (!check.success)
            return Fail(1, "reading the coils back failed", check);
    }
    json coils = json::array();
    std::vector<int32_t> stuck;
    for (int32_t coil : order) {
        const bool state = device.GetCachedCoil(coil) != 0;
        coils.push_back({{"coil", coil},
                         {"wanted", wanted[coil]},
                         {"state", state},
                         {"verified", settings.verify}});
        if (state != wanted[coil])
            stuck.push_back(coil);
        if (!settings.json && order.size() < 32)
            Emit("coil " + std::to_string(coil) + ": " + (state ? "ON" : "OFF") + "\n");
    }
    if (!settings.json && order.size() == 32) { // --all, --mask: one line, coil 0 first
        std::vector<bool> states;
        for (int32_t coil = 0; coil < 32; ++coil)
            states.push_back(device.GetCachedCoil(coil) != 0);
        Emit("coils: " + Bits(states) + "\n");
    }
    document["coils"] = coils;
    if (stuck.empty())
        return 0;
    std::string text = stuck.size() == 1 ? "coil " : "coils ";
    for (size_t i = 0; i < stuck.size(); ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(stuck[i]);
    text += stuck.size() == 1 ? (wanted[stuck[0]] ? " did not switch on" : " did not switch off")
                              : " did not switch";
    return Fail(1, text, "not_switched", static_cast<int32_t>(stuck.size()));
}

int CliRunner::Poll() {
    const bool withInputs = settings.device.protocolType != ProtocolType::Protocol55;
    PollRecording recording;
    if (std::string error; !recording.Open(settings.vcdPath, settings.csvPath, error))
        return Fail(2, "poll: " + error, "recording_failed");
    int64_t round = 0, failed = 0;
    while (settings.rounds == 0 || round < settings.rounds) {
        if (round > 0 && InterruptWatch::WaitFor(settings.intervalMs))
            break;
        ++round;
        json line{{"type", "round"}, {"time", Now()}, {"round", round}};
        const OperationResult coils = device.ReadCoils(0, 32);
        Record(recording, true, coils.success);
        OperationResult inputs = coils;
        if (withInputs && coils.success)
            inputs = device.ReadInputs(0, 32);
        // Inputs not read after a failed coil read are unknown in the recording too.
        if (withInputs)
            Record(recording, false, coils.success && inputs.success);
        const OperationResult& failure = coils.success ? inputs : coils;
        if (!failure.success && failure.kind == ErrorKind::Cancelled)
            break; // Ctrl-C called off the read under way: no round to report
        line["ok"] = failure.success;
        if (!failure.success) {
            ++failed;
            line["error"] = ErrorJson(failure);
            err << "vornak-cli: poll: " << failure.message << " (" << ErrorKindName(failure.kind)
                << ")\n";
        } else {
            std::vector<bool> c, i;
            for (int k = 0; k < 32; ++k) {
                c.push_back(device.GetCachedCoil(k) != 0);
                i.push_back(device.GetCachedInput(k) != 0);
            }
            line["coils"] = c;
            if (withInputs)
                line["inputs"] = i;
            if (!settings.json)
                Emit("coils: " + Bits(c) + (withInputs ? "  inputs: " + Bits(i) : "") + "\n");
        }
        if (settings.json)
            EmitJson(line, false);
        if (outputClosed || outputFailed || InterruptWatch::Flag())
            break;
    }
    interrupted = InterruptWatch::Flag();
    document["rounds"] = round;
    document["failed"] = failed;
    if (!recording.Close())
        return Fail(1, "poll: the recording could not be written completely", "recording_failed");
    return failed == 0 ? 0 : 1;
}

int CliRunner::Wait() {
    const std::string name =
        std::string(settings.inputs ? "input " : "coil ") + std::to_string(settings.point);
    const auto point = static_cast<uint8_t>(settings.point);
    document["point"] = settings.inputs ? "input" : "coil";
    document["index"] = settings.point;
    document["wanted"] = settings.on;
    const auto start = std::chrono::steady_clock::now();
    auto elapsedMs = [&] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
    const double limitMs = settings.waitSeconds * 1000;
    int64_t round = 0, failed = 0;
    bool seen = false;
    for (;;) {
        ++round;
        json line{{"type", "round"}, {"time", Now()}, {"round", round}};
        const OperationResult result =
            settings.inputs ? device.ReadInputs(point, 1) : device.ReadCoils(point, 1);
        line["ok"] = result.success;
        if (result.success) {
            const bool state =
                (settings.inputs ? device.GetCachedInput(point) : device.GetCachedCoil(point)) != 0;
            line["state"] = state;
            seen = state == settings.on;
        } else {
            ++failed;
            line["error"] = ErrorJson(result);
            err << "vornak-cli: wait: " << result.message << " (" << ErrorKindName(result.kind)
                << ")\n";
        }
        if (settings.json)
            EmitJson(line, false);
        if (seen || outputClosed || outputFailed || InterruptWatch::Flag())
            break;
        double pause = settings.intervalMs;
        if (limitMs > 0) {
            if (elapsedMs() >= limitMs)
                break;
            pause = std::min(pause, limitMs - elapsedMs());
        }
        if (InterruptWatch::WaitFor(static_cast<int>(std::ceil(std::max(pause, 0.0)))))
            break;
    }
    interrupted = InterruptWatch::Flag();
    const double seconds = elapsedMs() / 1000;
    document["seen"] = seen;
    document["seconds"] = seconds;
    document["rounds"] = round;
    document["failed"] = failed;
    const std::string state = settings.on ? "ON" : "OFF";
    if (seen) {
        if (!settings.json)
            Emit(name + ": " + state + " after " + Seconds(seconds) + " s\n");
        return 0;
    }
    if (!interrupted && !outputClosed)
        err << "vornak-cli: " << name << " not " << state << " within " << Seconds(seconds)
            << " s\n";
    return 1;
}

// Each read's answer goes to the recording at once, so its time is when it arrived.
void CliRunner::Record(PollRecording& recording, bool coils, bool success) {
    if (!recording.Active())
        return;
    std::vector<int> states;
    for (int k = 0; k < 32; ++k)
        states.push_back(coils ? device.GetCachedCoil(k) : device.GetCachedInput(k));
    recording.OnRead(coils, success, states);
    recording.Flush();
}

int CliRunner::RunSelfTest() {
    SelfTest test(device, settings.loopback);
    bool resumed = false;
    ProgressLine progress(err, "selftest", InterruptWatch::ErrorIsTerminal(),
                          settings.quiet || settings.verbose);
    const SelfTestReport report =
        test.Run(&InterruptWatch::Flag(), [&](int32_t done, int32_t total) {
            progress.Update(done, total);
            // Ctrl-C called off the wait under way; the coils are restored with normal waits.
            if (InterruptWatch::Interrupted() && !resumed) {
                resumed = true;
                InterruptWatch::Resume();
            }
        });
    progress.Finish();
    auto list = [](const std::vector<PointVerdict>& verdicts, const char* key) {
        json items = json::array();
        for (size_t k = 0; k < verdicts.size(); ++k) {
            json item{{key, k},
                      {"ok", verdicts[k].Ok()},
                      {"fault", FaultName(verdicts[k].fault)},
                      {"text", DescribeVerdict(verdicts[k])}};
            if (verdicts[k].other >= 0)
                item["other"] = verdicts[k].other;
            items.push_back(item);
        }
        return items;
    };
    auto states = [](uint32_t word) {
        std::vector<bool> bits;
        for (int k = 0; k < 32; ++k)
            bits.push_back(((word >> k) & 1u) != 0);
        return bits;
    };
    char before[16], after[16];
    std::snprintf(before, sizeof before, "%08X", static_cast<unsigned>(report.coilsBefore));
    std::snprintf(after, sizeof after, "%08X", static_cast<unsigned>(report.coilsAfter));
    interrupted = report.end == SelfTestEnd::Cancelled;
    document["passed"] = report.Passed();
    document["end"] = EndName(report.end);
    document["faults"] = report.FailedCount();
    document["restored"] = report.restored;
    document["coils_before"] = states(report.coilsBefore);
    if (report.endRead)
        document["coils_after"] = states(report.coilsAfter);
    document["seconds"] = report.seconds;
    document["coils"] = list(report.coils, "coil");
    document["inputs"] = list(report.inputs, "input");
    if (!settings.json) {
        std::string text;
        for (const auto& [verdicts, word] :
             {std::pair(&report.coils, "coil"), std::pair(&report.inputs, "input")}) {
            for (size_t k = 0; k < verdicts->size(); ++k) {
                if (!(*verdicts)[k].Ok())
                    text += std::string(word) + " " + std::to_string(k) + ": " +
                            DescribeVerdict((*verdicts)[k]) + "\n";
            }
        }
        const char* ends[] = {"running",
                              "finished",
                              "cancelled",
                              "the board fell silent",
                              "the connection was lost",
                              "the starting states were refused"};
        text += std::string("self-test ") + (report.Passed() ? "passed" : "failed") + " (" +
                ends[static_cast<int>(report.end)] + ", " + Plural(report.FailedCount(), "fault") +
                ", coils " + (report.restored ? "restored" : "NOT restored") + ") in " +
                Seconds(report.seconds) + " s\n";
        // A board left in another state than before is said plainly, coil by coil.
        if (!report.restored && report.endRead) {
            text += std::string("coils NOT restored: before ") + before + ", now " + after;
            for (int32_t k : report.CoilsNotRestored())
                text += "; coil " + std::to_string(k) + " " +
                        ((report.coilsAfter >> k & 1u) ? "ON" : "OFF");
            text += "\n";
        } else if (!report.restored) {
            text += std::string("coils NOT restored: they could not be read back (before ") +
                    before + ")\n";
        }
        Emit(text);
    }
    if (interrupted)
        err << "vornak-cli: self-test interrupted\n";
    return report.Passed() ? 0 : 1;
}

int CliRunner::Scan() {
    BoardScanner scanner(device, settings.device, settings.scan);
    ProgressLine progress(err, "scan", InterruptWatch::ErrorIsTerminal(),
                          settings.quiet || settings.verbose);
    const ScanPlan& plan = settings.scan;
    std::string protocols;
    for (ProtocolType protocol : plan.protocols)
        protocols += (protocols.empty() ? "" : ", ") + std::string(ProtocolName(protocol));
    std::string lineSettings;
    if (!plan.baudRates.empty())
        lineSettings = "; " + Plural(static_cast<int64_t>(plan.baudRates.size()), "baud rate") +
                       " x " + std::to_string(plan.parities.size()) +
                       (plan.parities.size() == 1 ? " parity" : " parities");
    const std::string to =
        plan.toAddress > 0 ? std::to_string(plan.toAddress) : "247 (255 for 0x55)";
    progress.Say(
        "addresses " + std::to_string(plan.fromAddress > 0 ? plan.fromAddress : 1) + ".." + to +
        "; protocols " + protocols + lineSettings + "; " + Plural(scanner.ProbesTotal(), "probe") +
        ", at most about " +
        ProgressLine::Duration(BoardScanner::WorstCaseSeconds(plan, settings.device.commType)));
    json found = json::array();
    scanner.Run(
        &InterruptWatch::Flag(),
        [&](int64_t done, int64_t total) {
            progress.Update(done, total, static_cast<int64_t>(found.size()));
        },
        [&](const ScanHit& hit) {
            json item{{"address", hit.address}, {"protocol", ProtocolName(hit.protocol)}};
            if (hit.serial) {
                item["baud"] = hit.baudRate;
                item["parity"] = ParityName(hit.parity);
            }
            found.push_back(item);
            if (!settings.json) {
                progress.Finish();
                std::string line = "found: address " + std::to_string(hit.address) + ", protocol " +
                                   ProtocolName(hit.protocol);
                if (hit.serial)
                    line += ", " + std::to_string(hit.baudRate) + " baud, parity " +
                            ParityName(hit.parity);
                Emit(line + "\n");
            }
        });
    progress.Finish();
    interrupted = scanner.Cancelled();
    document["found"] = found;
    if (!scanner.Error().empty())
        return Fail(settings.device.commType == CommType::Serial ? 2 : 1,
                    "scan: " + scanner.Error(), ErrorKindName(ErrorKind::NotConnected));
    if (!settings.json)
        Emit(std::to_string(found.size()) + " found" + (interrupted ? " (interrupted)" : "") +
             "\n");
    // An interrupted search did not look everywhere: its answer is not complete.
    return found.empty() || interrupted ? 1 : 0;
}

json CliRunner::Statistics() const {
    const LinkStatisticsSnapshot s = statistics.Snapshot();
    json counts;
    for (int32_t i = 0; i < kTransactionOutcomeCount; ++i) {
        std::string name = OutcomeName(static_cast<TransactionOutcome>(i));
        std::replace(name.begin(), name.end(), ' ', '_');
        counts[name] = s.counts[static_cast<size_t>(i)];
    }
    return {{"transactions", s.transactions},
            {"outcomes", counts},
            {"round_trip_ms",
             {{"samples", s.roundTrips},
              {"min", s.minMs},
              {"mean", s.meanMs},
              {"p95", s.p95Ms},
              {"max", s.maxMs}}}};
}

void CliRunner::PrintStatistics() {
    const LinkStatisticsSnapshot s = statistics.Snapshot();
    std::string line = "statistics: " + Plural(static_cast<int64_t>(s.transactions), "transaction");
    for (int32_t i = 0; i < kTransactionOutcomeCount; ++i)
        line += (i == 0 ? ": " : ", ") +
                std::string(OutcomeName(static_cast<TransactionOutcome>(i))) + " " +
                std::to_string(s.counts[static_cast<size_t>(i)]);
    char times[160];
    std::snprintf(times, sizeof times,
                  "; round trip over the last %d answers: min %.3f, mean %.3f, p95 %.3f, max "
                  "%.3f ms",
                  s.roundTrips, s.minMs, s.meanMs, s.p95Ms, s.maxMs);
    Emit(line + times + "\n");
}

int CliRunner::Fail(int status, const std::string& text, const std::string& kind, int32_t code) {
    err << "vornak-cli: " << text << " (" << kind << ")\n";
    document["error"] = {{"kind", kind}, {"code", code}, {"text", text}};
    return status;
}

int CliRunner::Fail(int status, const std::string& what, const OperationResult& result) {
    err << "vornak-cli: " << what << ": " << result.message << " (" << ErrorKindName(result.kind)
        << ")\n";
    document["error"] = ErrorJson(result);
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
