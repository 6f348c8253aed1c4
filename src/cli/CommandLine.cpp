#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "cli/HostLookup.h"

namespace {

const char* const kCommands[] = {"read", "write", "poll", "wait", "selftest", "scan"};

// HOST:PORT, where HOST is a name, a dotted IPv4 address or an IPv6 address in brackets
// ([::1]:502), and PORT 1..65535. False, with `problem` saying why, when it is not.
bool SplitHostPort(const std::string& text, std::string& host, uint32_t& port,
                   std::string& problem) {
    const size_t colon = text.rfind(':');
    const std::string digits = colon == std::string::npos ? "" : text.substr(colon + 1);
    host = colon == std::string::npos ? text : text.substr(0, colon);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos || std::stoul(digits) < 1 ||
        std::stoul(digits) > 65535) {
        problem = "needs a port from 1 to 65535 after the last colon, as in 127.0.0.1:502";
        return false;
    }
    port = static_cast<uint32_t>(std::stoul(digits));
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        if (host.find(':') != std::string::npos)
            return true;
    }
    if (host.find(':') != std::string::npos) {
        problem = "write an IPv6 address in brackets, as in [::1]:502";
        return false;
    }
    if (host.empty() || host.find_first_of(" []/\t") != std::string::npos) {
        problem = "needs a host name or address before the port, as in localhost:502";
        return false;
    }
    return true;
}

std::string HostPortCheck(const std::string& text) {
    std::string host, problem;
    uint32_t port = 0;
    return SplitHostPort(text, host, port, problem) ? "" : problem + ", not " + text;
}

// Whole numbers from `low` to `high`, said in words when the value is outside.
CLI::Validator InRange(int64_t low, int64_t high) {
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            int64_t value = 0;
            if (!CLI::detail::lexical_cast(text, value) || value < low || value > high)
                return "must be a whole number from " + std::to_string(low) + " to " +
                       std::to_string(high) + ", not " + text;
            return "";
        },
        std::to_string(low) + ".." + std::to_string(high));
}

// Edits that turn a into b (insert, delete, replace one letter).
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string UnknownCommand(const std::string& word) {
    const char* nearest = kCommands[0];
    for (const char* command : kCommands) {
        if (EditDistance(word, command) < EditDistance(word, nearest))
            nearest = command;
    }
    if (EditDistance(word, nearest) > 3)
        return "unknown command " + word +
               "; the commands are read, write, poll, wait, selftest and scan";
    return "unknown command " + word + "; did you mean " + nearest + "?";
}

// "none", "odd", "even" or N, O, E: 0 none, 1 odd, 2 even; -1 for anything else.
int ParityFromText(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    if (text == "none" || text == "n")
        return 0;
    if (text == "odd" || text == "o")
        return 1;
    if (text == "even" || text == "e")
        return 2;
    return -1;
}

std::string ParityCheck(const std::string& text) {
    return ParityFromText(text) >= 0 ? "" : "must be none, odd or even (or N, O, E), not " + text;
}

// PATH:BAUD or PATH:BAUD,8E1 (data bits, parity letter, stop bits) at the end of --serial;
// false when the text carries no such settings.
bool SplitSerialShorthand(const std::string& text, SerialConfig& serial, bool& framing) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    const std::string settings = text.substr(colon + 1);
    const size_t comma = settings.find(',');
    const std::string baud = settings.substr(0, comma);
    if (baud.empty() || baud.size() > 7 ||
        baud.find_first_not_of("0123456789") != std::string::npos)
        return false;
    framing = comma != std::string::npos;
    if (framing) {
        const std::string frame = settings.substr(comma + 1);
        if (frame.size() != 3 || (frame[0] != '7' && frame[0] != '8') ||
            ParityFromText(frame.substr(1, 1)) < 0 || (frame[2] != '1' && frame[2] != '2'))
            return false;
        serial.dataBits = static_cast<uint32_t>(frame[0] - '0');
        serial.parity = static_cast<uint32_t>(ParityFromText(frame.substr(1, 1)));
        serial.stopBits = frame[2] == '2' ? 2 : 0;
    }
    serial.baudRate = static_cast<uint32_t>(std::stoul(baud));
    serial.portName = text.substr(0, colon);
    return true;
}

std::string ScanFooter() {
    ScanPlan all;
    all.baudRates = ScanPlan::DefaultBaudRates();
    ScanPlan one = all;
    one.protocols = {ProtocolType::ModbusRtu};
    auto minutes = [](const ScanPlan& plan) {
        return std::to_string(static_cast<int>(
            std::ceil(BoardScanner::WorstCaseSeconds(plan, CommType::Serial) / 60)));
    };
    return "Each address is asked once (one that answers, twice), with a wait of 20 ms plus "
           "the wire time at the baud rate (" +
           std::to_string(BoardScanner::kNetworkWaitMs) +
           " ms over TCP and UDP; --timeout sets it). Without --protocol all three protocols "
           "are tried. A full serial search (--bauds: 8 baud rates x 3 parities, every "
           "address) takes at most " +
           minutes(all) + " minutes, " + minutes(one) +
           " with one --protocol; --first stops at the first board found. The plan, an "
           "estimate and the progress go to standard error (not with --quiet).";
}

} // namespace

int ParseCommandLine(int argc, char** argv, CliSettings& s, std::ostream& out, std::ostream& err) {
    CLI::App app{"Reads, switches, polls, waits for, self-tests and finds a relay and "
                 "digital-input board (32 coils, 32 inputs) over Modbus RTU, Modbus TCP or the "
                 "0x55 relay protocol.",
                 "vornak-cli"};
    app.set_version_flag("--version", "vornak-cli " VORNAK_VERSION);
    app.allow_extras(); // a misspelt command is answered below, with the nearest one
    app.fallthrough();
    app.footer("Exit status: 0 success, 1 the board failed (no answer, refused, a coil that "
               "did not switch, self-test failed, wait timed out), 2 bad command line or "
               "settings.\nExamples:\n"
               "  vornak-cli --tcp localhost:502 read coils\n"
               "  vornak-cli --serial /dev/ttyUSB0:19200,8E1 --address 3 write 5 on 6 off\n"
               "  vornak-cli --tcp 127.0.0.1:502 wait input 5 on --timeout 10\n"
               "  vornak-cli --udp 127.0.0.1:502 --json selftest --loopback\n"
               "  vornak-cli --serial /dev/ttyUSB0 scan --bauds --first");

    std::string tcp, udp, serial, local, protocol, parity;
    CLI::Option_group* transport =
        app.add_option_group("transport", "where the board is: exactly one of these");
    transport->add_option("--tcp", tcp, "TCP client to HOST:PORT (a name, IPv4, or [IPv6])")
        ->type_name("HOST:PORT")
        ->check(HostPortCheck);
    CLI::Option* udpOption = transport->add_option("--udp", udp, "UDP to HOST:PORT")
                                 ->type_name("HOST:PORT")
                                 ->check(HostPortCheck);
    CLI::Option* serialOption =
        transport
            ->add_option("--serial", serial,
                         "serial port PATH, or PATH:BAUD[,8E1] (data bits, parity, stop bits)")
            ->type_name("PATH");
    transport->require_option(1);

    DeviceConfig& d = s.device;
    uint32_t stopBits = 1;
    app.add_option("--local", local, "UDP: local IP:PORT to bind (default 0.0.0.0:0)")
        ->needs(udpOption)
        ->check(HostPortCheck);
    CLI::Option* baudOption =
        app.add_option("--baud", d.serial.baudRate, "serial: baud rate (default 9600)")
            ->needs(serialOption)
            ->check(InRange(50, 4000000));
    CLI::Option* dataBitsOption =
        app.add_option("--data-bits", d.serial.dataBits, "serial: 7 or 8 (default 8)")
            ->needs(serialOption)
            ->check(InRange(7, 8));
    CLI::Option* stopBitsOption =
        app.add_option("--stop-bits", stopBits, "serial: 1 or 2 (default 1)")
            ->needs(serialOption)
            ->check(InRange(1, 2));
    CLI::Option* parityOption =
        app.add_option("--parity", parity, "serial: none, odd or even, or N, O, E (default none)")
            ->needs(serialOption)
            ->check(ParityCheck)
            ->type_name("none|odd|even");
    CLI::Option* protocolOption =
        app.add_option("--protocol", protocol,
                       "rtu, tcp (Modbus TCP) or 55 (default: tcp over --tcp and --udp, rtu "
                       "on a serial port)")
            ->check(CLI::IsMember({"rtu", "tcp", "55"}));
    uint32_t address = 1;
    app.add_option("--address", address, "device address (default 1)")->check(InRange(1, 255));
    CLI::Option* timeoutOption =
        app.add_option("--timeout", d.receiveTimeout, "answer wait in ms (default 100)")
            ->check(InRange(1, 60000));
    app.add_option("--retries", d.retryCount, "send and receive attempts (default 3)")
        ->check(InRange(1, 100));
    app.add_flag("--json", s.json,
                 "print one JSON document (poll, wait: one JSON object per line)");
    app.add_flag("--verbose", s.verbose, "print every frame and log line to standard error");
    app.add_flag("--stats", s.stats, "add the link statistics");
    app.add_flag("--quiet", s.quiet, "no plan and no progress on standard error");

    CLI::App* read = app.add_subcommand("read", "read coils or inputs");
    std::string what;
    read->add_option("what", what, "coils or inputs")
        ->required()
        ->check(CLI::IsMember({"coils", "inputs"}));
    read->add_option("start", s.start, "first point (default 0)")->check(InRange(0, 31));
    read->add_option("count", s.count, "number of points (default 32)")->check(InRange(1, 32));

    CLI::App* write = app.add_subcommand(
        "write", "switch coils (COIL on|off ..., --all on|off or --mask HEX), each read back");
    std::vector<std::string> pairs;
    std::string all, mask;
    write->add_option("pairs", pairs, "COIL STATE pairs: coil 0..31, on or off")
        ->type_name("COIL on|off");
    write->add_option("--all", all, "switch all 32 coils")->check(CLI::IsMember({"on", "off"}));
    write->add_option("--mask", mask, "coil k ON where bit k is set, OFF elsewhere (hex word)")
        ->type_name("HEX");
    bool noVerify = false;
    write->add_flag("--no-verify", noVerify, "do not read the coils back");

    CLI::App* poll =
        app.add_subcommand("poll", "read coils and inputs again and again (Ctrl-C ends)");
    poll->add_option("--interval", s.intervalMs, "ms between rounds (default 1000)")
        ->check(InRange(100, 86400000));
    poll->add_option("--count", s.rounds, "rounds, then stop (default: until Ctrl-C)")
        ->check(InRange(1, 1000000000));
    poll->add_option("--vcd", s.vcdPath, "record every change as a Value Change Dump in FILE")
        ->type_name("FILE");
    poll->add_option("--csv", s.csvPath, "record every change as CSV (time,point,value) in FILE")
        ->type_name("FILE");

    CLI::App* wait = app.add_subcommand(
        "wait", "poll one input or coil until it is in the given state (exit 1 on time-out)");
    std::string waitWhat, waitState;
    wait->add_option("what", waitWhat, "input or coil")
        ->required()
        ->check(CLI::IsMember({"input", "coil"}));
    wait->add_option("point", s.point, "point 0..31")->required()->check(InRange(0, 31));
    wait->add_option("state", waitState, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    wait->add_option("--timeout", s.waitSeconds, "give up after S seconds (default: never)")
        ->type_name("S")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                double value = 0;
                if (!CLI::detail::lexical_cast(text, value) || !(value > 0) || value > 86400)
                    return "must be seconds above 0 and at most 86400, not " + text;
                return "";
            },
            "S"));
    wait->add_option("--interval", s.intervalMs, "ms between reads (default 1000)")
        ->check(InRange(100, 86400000));

    CLI::App* selftest = app.add_subcommand(
        "selftest", "switch each coil on and off and check it, restoring the coils at the end");
    selftest->add_flag("--loopback", s.loopback,
                       "coil k is wired to input k: check the inputs too");

    CLI::App* scan = app.add_subcommand("scan", "find the boards that answer");
    scan->footer(ScanFooter());
    ScanPlan& plan = s.scan;
    scan->add_option("--from", plan.fromAddress, "first address (default 1)")
        ->check(InRange(1, 255));
    scan->add_option("--to", plan.toAddress, "last address (default 247 Modbus, 255 0x55)")
        ->check(InRange(1, 255));
    CLI::Option* bauds =
        scan->add_option("--bauds", plan.baudRates,
                         "serial: also try these baud rates, comma-separated (alone: "
                         "9600,19200,38400,57600,115200,4800,2400,1200)")
            ->expected(0, 64) // alone, or one comma-separated list
            ->allow_extra_args(false)
            ->delimiter(',')
            ->check(InRange(0, 4000000)); // 0: "--bauds" alone
    std::vector<std::string> parityNames;
    scan->add_option("--parities", parityNames,
                     "with --bauds: parities to try (default none,even,odd)")
        ->delimiter(',')
        ->needs(bauds)
        ->check(ParityCheck);
    scan->add_flag("--first", plan.stopAtFirst, "stop at the first board found");

    auto fail = [&](const std::string& message) {
        err << "vornak-cli: " << message << " (see vornak-cli --help)\n";
        return 2;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        // A misspelt command makes the other errors follow from it: name it first.
        const std::vector<std::string> extra = app.remaining();
        if (!extra.empty() && extra[0].rfind("-", 0) != 0 && app.get_subcommands().empty())
            return fail(UnknownCommand(extra[0]));
        return fail(e.what());
    }
    if (const std::vector<std::string> extra = app.remaining(); !extra.empty()) {
        if (extra[0].rfind("-", 0) == 0)
            return fail("unknown option " + extra[0]);
        return fail(app.get_subcommands().empty() ? UnknownCommand(extra[0])
                                                  : "unexpected " + extra[0]);
    }
    if (app.get_subcommands().empty())
        return fail("a command is needed: read, write, poll, wait, selftest or scan");

    std::string problem;
    if (!tcp.empty()) {
        d.commType = CommType::Tcp;
        SplitHostPort(tcp, d.tcp.serverIp, d.tcp.port, problem);
        s.where = tcp;
    } else if (!udp.empty()) {
        d.commType = CommType::Udp;
        SplitHostPort(udp, d.udp.remoteIp, d.udp.remotePort, problem);
        if (!local.empty())
            SplitHostPort(local, d.udp.localIp, d.udp.localPort, problem);
        s.where = udp;
        s.local = local;
    } else {
        d.commType = CommType::Serial;
        d.serial.portName = serial;
        d.serial.stopBits = stopBits == 2 ? 2 : 0;
        if (parityOption->count() > 0)
            d.serial.parity = static_cast<uint32_t>(ParityFromText(parity));
        SerialConfig shorthand = d.serial;
        bool framing = false;
        if (SplitSerialShorthand(serial, shorthand, framing)) {
            if (baudOption->count() > 0)
                return fail("--baud: the baud rate is already in --serial " + serial);
            if (framing &&
                dataBitsOption->count() + stopBitsOption->count() + parityOption->count() > 0)
                return fail("--data-bits, --parity, --stop-bits: already in --serial " + serial);
            d.serial = shorthand;
            if (d.serial.baudRate < 50 || d.serial.baudRate > 4000000)
                return fail("--serial: the baud rate must be from 50 to 4000000, not " +
                            std::to_string(d.serial.baudRate));
        }
        s.where = d.serial.portName;
    }
    const bool network = d.commType != CommType::Serial;
    // Names become addresses here, so that a misspelt one is a bad command line.
    auto lookUp = [](std::string& host) { return !(host = LookUpHost(host)).empty(); };
    if (d.commType == CommType::Tcp && !lookUp(d.tcp.serverIp))
        return fail("--tcp: unknown host in " + tcp);
    if (d.commType == CommType::Udp && !lookUp(d.udp.remoteIp))
        return fail("--udp: unknown host in " + udp);
    if (!local.empty() && !lookUp(d.udp.localIp))
        return fail("--local: unknown host in " + local);
    if (protocol.empty())
        protocol = network ? "tcp" : "rtu";
    d.protocolType = protocol == "tcp"  ? ProtocolType::ModbusTcp
                     : protocol == "55" ? ProtocolType::Protocol55
                                        : ProtocolType::ModbusRtu;
    d.slaveAddress = static_cast<uint8_t>(address);
    s.protocolGiven = protocolOption->count() > 0;
    s.timeoutGiven = timeoutOption->count() > 0;
    const bool relayProtocol = d.protocolType == ProtocolType::Protocol55;

    if (read->parsed()) {
        s.command = CliSettings::Command::Read;
        s.inputs = what == "inputs";
        if (s.start + s.count > 32)
            return fail("read: START + COUNT must not be above 32");
        if (s.inputs && relayProtocol)
            return fail("read inputs: the 0x55 protocol carries no inputs");
    } else if (write->parsed()) {
        s.command = CliSettings::Command::Write;
        s.verify = !noVerify;
        if (pairs.empty() + all.empty() + mask.empty() != 2)
            return fail("write: give COIL on|off pairs, --all on|off or --mask HEX (one of them)");
        for (size_t i = 0; i < pairs.size(); i += 2) {
            int32_t coil = -1;
            if (!CLI::detail::lexical_cast(pairs[i], coil) || coil < 0 || coil > 31)
                return fail("write: a coil must be a whole number from 0 to 31, not " + pairs[i]);
            if (i + 1 >= pairs.size() || (pairs[i + 1] != "on" && pairs[i + 1] != "off"))
                return fail("write: coil " + pairs[i] + " needs on or off after it");
            s.writes.emplace_back(coil, pairs[i + 1] == "on");
        }
        if (!all.empty()) {
            for (int32_t coil = 0; coil < 32; ++coil)
                s.writes.emplace_back(coil, all == "on");
        }
        if (!mask.empty()) {
            const std::string digits =
                mask.rfind("0x", 0) == 0 || mask.rfind("0X", 0) == 0 ? mask.substr(2) : mask;
            if (digits.empty() || digits.size() > 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return fail("--mask: must be a hexadecimal word of up to 8 digits, as in "
                            "0x0000000F, not " +
                            mask);
            const uint32_t word = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
            for (int32_t coil = 0; coil < 32; ++coil)
                s.writes.emplace_back(coil, ((word >> coil) & 1u) != 0);
        }
    } else if (poll->parsed()) {
        s.command = CliSettings::Command::Poll;
    } else if (wait->parsed()) {
        s.command = CliSettings::Command::Wait;
        s.inputs = waitWhat == "input";
        s.on = waitState == "on";
        if (s.inputs && relayProtocol)
            return fail("wait input: the 0x55 protocol carries no inputs");
    } else if (selftest->parsed()) {
        s.command = CliSettings::Command::SelfTest;
        if (s.loopback && relayProtocol)
            return fail("selftest --loopback: the 0x55 protocol carries no inputs to check");
    } else {
        s.command = CliSettings::Command::Scan;
        if (bauds->count() > 0 && network)
            return fail("scan --bauds: only a serial port has baud rates");
        // "--bauds" alone leaves a 0 behind: it asks for the standard list.
        plan.baudRates.erase(std::remove(plan.baudRates.begin(), plan.baudRates.end(), 0u),
                             plan.baudRates.end());
        if (bauds->count() > 0 && plan.baudRates.empty())
            plan.baudRates = ScanPlan::DefaultBaudRates();
        if (std::any_of(plan.baudRates.begin(), plan.baudRates.end(),
                        [](uint32_t baud) { return baud < 50; }))
            return fail("--bauds: each baud rate must be from 50 to 4000000");
        if (!parityNames.empty()) {
            plan.parities.clear();
            for (const std::string& name : parityNames)
                plan.parities.push_back(static_cast<uint32_t>(ParityFromText(name)));
        }
        if (plan.fromAddress > 0 && plan.toAddress > 0 && plan.fromAddress > plan.toAddress)
            return fail("scan: --from must not be above --to");
        if (s.protocolGiven)
            plan.protocols = {d.protocolType};
        if (s.timeoutGiven)
            plan.waitMs = d.receiveTimeout;
    }
    return -1;
}
