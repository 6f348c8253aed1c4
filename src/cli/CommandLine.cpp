#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <map>

namespace {

// HOST:PORT with a dotted IPv4 host and a port 1..65535; the validator's message when not.
bool SplitHostPort(const std::string& text, std::string& host, uint32_t& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    host = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = static_cast<uint32_t>(std::stoul(digits));
    return port >= 1 && port <= 65535 && CLI::ValidIPV4(host).empty();
}

std::string HostPortCheck(const std::string& text) {
    std::string host;
    uint32_t port = 0;
    return SplitHostPort(text, host, port) ? "" : "must be IPv4:PORT, like 127.0.0.1:502: " + text;
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
           " with one --protocol; --first stops at the first board found.";
}

} // namespace

int ParseCommandLine(int argc, char** argv, CliSettings& s, std::ostream& out, std::ostream& err) {
    CLI::App app{"Reads, switches, polls, self-tests and finds a relay and digital-input board "
                 "(32 coils, 32 inputs) over Modbus RTU, Modbus TCP or the 0x55 relay protocol.",
                 "vornak-cli"};
    app.require_subcommand(1);
    app.fallthrough();
    app.footer("Exit status: 0 success, 1 the board failed (no answer, refused, self-test "
               "failed), 2 bad command line or settings.\nExamples:\n"
               "  vornak-cli --tcp 127.0.0.1:502 read coils\n"
               "  vornak-cli --serial /dev/ttyUSB0 --baud 19200 --address 3 write 5 on\n"
               "  vornak-cli --udp 127.0.0.1:502 --json selftest --loopback\n"
               "  vornak-cli --serial /dev/ttyUSB0 scan --bauds --first");

    std::string tcp, udp, serial, local, protocol = "rtu";
    CLI::Option_group* transport =
        app.add_option_group("transport", "where the board is: exactly one of these");
    transport->add_option("--tcp", tcp, "TCP client to HOST:PORT")
        ->type_name("HOST:PORT")
        ->check(HostPortCheck);
    CLI::Option* udpOption = transport->add_option("--udp", udp, "UDP to HOST:PORT")
                                 ->type_name("HOST:PORT")
                                 ->check(HostPortCheck);
    CLI::Option* serialOption =
        transport->add_option("--serial", serial, "serial port PATH")->type_name("PATH");
    transport->require_option(1);

    DeviceConfig& d = s.device;
    uint32_t stopBits = 1;
    app.add_option("--local", local, "UDP: local IP:PORT to bind (default 0.0.0.0:0)")
        ->needs(udpOption)
        ->check([](const std::string& text) {
            return text == "0.0.0.0:0" ? std::string() : HostPortCheck(text);
        });
    app.add_option("--baud", d.serial.baudRate, "serial: baud rate (default 9600)")
        ->needs(serialOption)
        ->check(CLI::Range(50u, 4000000u));
    app.add_option("--data-bits", d.serial.dataBits, "serial: 7 or 8 (default 8)")
        ->needs(serialOption)
        ->check(CLI::IsMember({7u, 8u}));
    app.add_option("--stop-bits", stopBits, "serial: 1 or 2 (default 1)")
        ->needs(serialOption)
        ->check(CLI::IsMember({1u, 2u}));
    const std::map<std::string, uint32_t> parities = {{"none", 0}, {"odd", 1}, {"even", 2}};
    app.add_option("--parity", d.serial.parity, "serial: none, odd or even (default none)")
        ->needs(serialOption)
        ->transform(CLI::CheckedTransformer(parities))
        ->type_name("none|odd|even");
    CLI::Option* protocolOption =
        app.add_option("--protocol", protocol, "rtu, tcp (Modbus TCP) or 55 (default rtu)")
            ->check(CLI::IsMember({"rtu", "tcp", "55"}));
    uint32_t address = 1;
    app.add_option("--address", address, "device address (default 1)")->check(CLI::Range(1u, 255u));
    CLI::Option* timeoutOption =
        app.add_option("--timeout", d.receiveTimeout, "answer wait in ms (default 100)")
            ->check(CLI::Range(1, 60000));
    app.add_option("--retries", d.retryCount, "send and receive attempts (default 3)")
        ->check(CLI::Range(1, 100));
    app.add_flag("--json", s.json, "print one JSON object per result");
    app.add_flag("--verbose", s.verbose, "print every frame and log line to standard error");
    app.add_flag("--stats", s.stats, "end with the link statistics");

    CLI::App* read = app.add_subcommand("read", "read coils or inputs");
    std::string what;
    read->add_option("what", what, "coils or inputs")
        ->required()
        ->check(CLI::IsMember({"coils", "inputs"}));
    read->add_option("start", s.start, "first point (default 0)")->check(CLI::Range(0, 31));
    read->add_option("count", s.count, "number of points (default 32)")->check(CLI::Range(1, 32));

    CLI::App* write = app.add_subcommand("write", "switch one coil");
    std::string state;
    write->add_option("coil", s.coil, "coil 0..31")->required()->check(CLI::Range(0, 31));
    write->add_option("state", state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));

    CLI::App* poll =
        app.add_subcommand("poll", "read coils and inputs again and again (Ctrl-C ends)");
    poll->add_option("--interval", s.intervalMs, "ms between rounds (default 1000)")
        ->check(CLI::Range(100, 86400000));
    poll->add_option("--count", s.rounds, "rounds, then stop (default: until Ctrl-C)")
        ->check(CLI::PositiveNumber);
    poll->add_option("--vcd", s.vcdPath, "record every change as a Value Change Dump in FILE")
        ->type_name("FILE");
    poll->add_option("--csv", s.csvPath, "record every change as CSV (time,point,value) in FILE")
        ->type_name("FILE");

    CLI::App* selftest = app.add_subcommand(
        "selftest", "switch each coil on and off and check it, restoring the coils at the end");
    selftest->add_flag("--loopback", s.loopback,
                       "coil k is wired to input k: check the inputs too");

    CLI::App* scan = app.add_subcommand("scan", "find the boards that answer");
    scan->footer(ScanFooter());
    ScanPlan& plan = s.scan;
    scan->add_option("--from", plan.fromAddress, "first address (default 1)")
        ->check(CLI::Range(1, 255));
    scan->add_option("--to", plan.toAddress, "last address (default 247 Modbus, 255 0x55)")
        ->check(CLI::Range(1, 255));
    CLI::Option* bauds =
        scan->add_option("--bauds", plan.baudRates,
                         "serial: also try these baud rates, comma-separated (alone: "
                         "9600,19200,38400,57600,115200,4800,2400,1200)")
            ->expected(0, 64) // alone, or one comma-separated list
            ->allow_extra_args(false)
            ->delimiter(',')
            ->check(CLI::Range(50u, 4000000u));
    std::vector<std::string> parityNames;
    scan->add_option("--parities", parityNames,
                     "with --bauds: parities to try (default none,even,odd)")
        ->delimiter(',')
        ->needs(bauds)
        ->check(CLI::IsMember({"none", "odd", "even"}));
    scan->add_flag("--first", plan.stopAtFirst, "stop at the first board found");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        err << "vornak-cli: " << e.what() << " (see vornak-cli --help)\n";
        return 2;
    }

    auto fail = [&](const std::string& message) {
        err << "vornak-cli: " << message << " (see vornak-cli --help)\n";
        return 2;
    };
    std::string host;
    if (!tcp.empty()) {
        d.commType = CommType::Tcp;
        SplitHostPort(tcp, d.tcp.serverIp, d.tcp.port);
        s.where = tcp;
    } else if (!udp.empty()) {
        d.commType = CommType::Udp;
        SplitHostPort(udp, d.udp.remoteIp, d.udp.remotePort);
        if (!local.empty())
            SplitHostPort(local, d.udp.localIp, d.udp.localPort);
        s.where = udp;
    } else {
        d.commType = CommType::Serial;
        d.serial.portName = serial;
        d.serial.stopBits = stopBits == 2 ? 2 : 0;
        s.where = serial;
    }
    d.protocolType = protocol == "tcp"  ? ProtocolType::ModbusTcp
                     : protocol == "55" ? ProtocolType::Protocol55
                                        : ProtocolType::ModbusRtu;
    d.slaveAddress = static_cast<uint8_t>(address);
    s.protocolGiven = protocolOption->count() > 0;
    s.timeoutGiven = timeoutOption->count() > 0;

    if (read->parsed()) {
        s.command = CliSettings::Command::Read;
        s.inputs = what == "inputs";
        if (s.start + s.count > 32)
            return fail("read: START + COUNT must not exceed 32");
        if (s.inputs && d.protocolType == ProtocolType::Protocol55)
            return fail("read inputs: the 0x55 protocol carries no inputs");
    } else if (write->parsed()) {
        s.command = CliSettings::Command::Write;
        s.on = state == "on";
    } else if (poll->parsed()) {
        s.command = CliSettings::Command::Poll;
    } else if (selftest->parsed()) {
        s.command = CliSettings::Command::SelfTest;
    } else {
        s.command = CliSettings::Command::Scan;
        if (bauds->count() > 0 && d.commType != CommType::Serial)
            return fail("scan --bauds: only a serial port has baud rates");
        // "--bauds" alone leaves a 0 behind: it asks for the standard list.
        plan.baudRates.erase(std::remove(plan.baudRates.begin(), plan.baudRates.end(), 0u),
                             plan.baudRates.end());
        if (bauds->count() > 0 && plan.baudRates.empty())
            plan.baudRates = ScanPlan::DefaultBaudRates();
        if (!parityNames.empty()) {
            plan.parities.clear();
            for (const std::string& name : parityNames)
                plan.parities.push_back(parities.at(name));
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
