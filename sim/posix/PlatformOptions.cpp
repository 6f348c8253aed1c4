#include "PlatformOptions.h"

#include "LineSettings.h"
#include "OptionCheck.h"

namespace PlatformOptions {

std::string Description() {
    return "A simulated relay and digital-input board (32 coils, 32 discrete inputs) that\n"
           "answers Modbus RTU, Modbus TCP and the 0x55 relay protocol, recognised per\n"
           "request, over TCP, UDP and a pseudo-terminal.\n"
           "With --send it only hands commands to a simulator that is already running.";
}

std::string StartFooter() {
    return "At start it prints one line per listener (LISTEN tcp ADDRESS:PORT, LISTEN udp\n"
           "ADDRESS:PORT, LISTEN pty PATH [LINK], LISTEN control PATH), SEED N and READY.\n"
           "Ctrl-C ends it. Commands come on standard input and on the control socket;\n"
           "each is answered by one line starting with OK, ERR, STATE or STATS.\n";
}

std::string DefaultListeners() {
    return "TCP and UDP port 1502 and a pty";
}

void Declare(CLI::App& app, Options& options, std::string& lineText, const std::string& where) {
    auto last = CLI::MultiOptionPolicy::TakeLast;
    app.add_flag("--pty", options.pty, "a pseudo-terminal pair, as a serial port")
        ->disable_flag_override()
        ->group(where);
    app.add_option("--link", options.linkPath,
                   "keep a symlink to the pseudo-terminal at PATH (implies --pty)")
        ->type_name("PATH")
        ->check(OptionCheck([](const std::string& text) { return !text.empty(); }, "needs a path"))
        ->multi_option_policy(last)
        ->group(where);
    app.add_option("--line", lineText,
                   "the pty's board is set to BAUD[,PARITY[,DATA[,STOP]]], e.g.\n"
                   "19200,even: sent at other settings, requests are noise\n"
                   "(a pty keeps the rate and stop bits only: the rest is not compared)")
        ->type_name("SETTINGS")
        ->check(OptionCheck(
            [](const std::string& text) {
                LineSettings line;
                return LineSettings::Parse(text, line);
            },
            "must be a standard rate 300..230400, then none, even or odd, 7 or 8, 1 or 2"))
        ->multi_option_policy(last)
        ->group(where);
    app.add_option("--control", options.controlPath,
                   "take commands on a Unix socket at PATH too (see --send)")
        ->type_name("PATH")
        ->multi_option_policy(last)
        ->group(where);
}

void DeclareCommands(CLI::App& app, Options& options) {
    app.add_option("--send", options.sendCommands,
                   std::string("hand COMMAND to the simulator at --control PATH\n(default ") +
                       Options::kDefaultControlPath +
                       ") and print its reply; exit 0, or 1 when\nrefused (ERR) or unreachable")
        ->type_name("COMMAND")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group("Commands to a running simulator");
}

void Finish(Options& options, const std::string& lineText) {
    if (!lineText.empty()) {
        options.line.emplace();
        LineSettings::Parse(lineText, *options.line);
    }
    if (!options.linkPath.empty())
        options.pty = true;
    if (!options.tcpPort && !options.udpPort && !options.pty) {
        options.tcpPort = Options::kDefaultPort;
        options.udpPort = Options::kDefaultPort;
        options.pty = true;
    }
}

} // namespace PlatformOptions
