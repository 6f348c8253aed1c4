#include "Options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "CommandInterpreter.h"
#include "FaultInjector.h"
#include "Statistics.h"

namespace {

bool ParseUnsigned(const std::string &text, int base, unsigned long high, unsigned long &out) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    errno = 0;
    char *end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || value > high)
        return false;
    out = value;
    return true;
}

// A 32-bit word in hexadecimal, with or without 0x.
bool ParseWord(const std::string &text, uint32_t &out) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
    }
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })) {
        return false;
    }
    unsigned long value = 0;
    if (!ParseUnsigned(digits, 16, 0xFFFFFFFFUL, value))
        return false;
    out = static_cast<uint32_t>(value);
    return true;
}

// Fault options are commands: "--delay=300,50" is the command "delay 300 50".
const char *const kFaultOptions[] = {
    "silent", "drop",  "corrupt", "delay", "split",      "exception",  "wrongid",
    "late",   "turnaround", "baud", "chunks", "stray", "stuck", "short",
    "dead-input", "silent-addresses"};
// Those that always take a value, which may then also follow as the next argument.
const char *const kFaultOptionsWithValue[] = {
    "drop",   "corrupt", "delay", "exception", "turnaround", "baud",
    "chunks", "stray",   "stuck", "short",     "dead-input", "silent-addresses"};

template <size_t N> bool Contains(const char *const (&list)[N], const std::string &name) {
    return std::find(std::begin(list), std::end(list), name) != std::end(list);
}

} // namespace

std::string Usage() {
    return "usage: vornak-sim [options]\n"
           "       vornak-sim [--control PATH] --send COMMAND [--send COMMAND...]\n"
           "A simulated relay and digital-input board (32 coils, 32 discrete inputs) that\n"
           "answers Modbus RTU, Modbus TCP and the 0x55 relay protocol, recognised per\n"
           "request, over TCP, UDP and a pseudo-terminal.\n"
           "\n"
           "where it listens (without any of these: TCP and UDP port 1502 and a pty):\n"
           "  --tcp PORT        TCP server on PORT (0: the system chooses)\n"
           "  --udp PORT        UDP on PORT (0: the system chooses)\n"
           "  --pty             a pseudo-terminal pair, as a serial port\n"
           "  --link PATH       keep a symlink to the pseudo-terminal at PATH (implies --pty)\n"
           "  --bind ADDRESS    IPv4 address for TCP and UDP (default 127.0.0.1)\n"
           "  --control PATH    take commands on a Unix socket at PATH too (see --send)\n"
           "the board:\n"
           "  --address LIST    device address(es) it answers at, 1..255: 7, 1-247 or\n"
           "                    1,5,7-9 (default 1); it answers with the address asked\n"
           "  --protocol P      answer only rtu, tcp or 55 (default auto)\n"
           "  --coils HEX       initial coil states, bit k = coil k (default 0)\n"
           "  --inputs X        HEX (fixed states), walk (one lit input moving every\n"
           "                    --walk-ms) or mirror (input k follows coil k)\n"
           "  --walk-ms N       step of the walking input in ms (default 500)\n"
           "faults, the commands below as options (commas for spaces, repeatable):\n"
           "  --silent[=MS] --drop PCT --corrupt PCT --delay MS[,PCT] --split[=PCT[,GAP]]\n"
           "  --exception CODE[,PCT] --wrongid[=PCT] --late[=PCT]\n"
           "  --turnaround MS --baud N --chunks N[,GAP] --stray PCT\n"
           "  --stuck K[=on|off] --short A,B --dead-input K --silent-addresses LIST\n"
           "  --seed N          seed of the random faults (default: from the clock, printed)\n"
           "output:\n"
           "  --quiet           no traffic lines\n"
           "  --help            this text\n"
           "commands to a running simulator:\n"
           "  --send COMMAND    hand COMMAND to the simulator listening at --control PATH\n"
           "                    (default " +
           std::string(Options::kDefaultControlPath) +
           "), print its reply; exit 0, or 1 when\n"
           "                    refused (ERR) or unreachable\n"
           "\n"
           "At start it prints one line per listener (LISTEN tcp ADDRESS:PORT, LISTEN udp\n"
           "ADDRESS:PORT, LISTEN pty PATH [LINK], LISTEN control PATH), SEED N and READY.\n"
           "Ctrl-C ends it. Commands come on standard input and on the control socket; each\n"
           "is answered by one line starting with OK, ERR, STATE or STATS.\n"
           "\n" +
           CommandInterpreter::Help() + "\n";
}

bool ParseOptions(int argc, char **argv, Options &options, std::string &error) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.rfind("--", 0) != 0) {
            error = "unexpected argument: " + argument;
            return false;
        }
        std::string name = argument.substr(2);
        std::optional<std::string> value;
        if (size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        // The value of an option that requires one, from "=" or the next argument.
        auto required = [&](std::string &out) {
            if (value) {
                out = *value;
                return true;
            }
            if (i + 1 >= argc) {
                error = "--" + name + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto noValue = [&]() {
            if (value)
                error = "--" + name + " takes no value";
            return !value;
        };

        std::string text;
        unsigned long number = 0;
        if (name == "help") {
            if (!noValue())
                return false;
            options.help = true;
        } else if (name == "quiet") {
            if (!noValue())
                return false;
            options.quiet = true;
        } else if (name == "pty") {
            if (!noValue())
                return false;
            options.pty = true;
        } else if (name == "tcp" || name == "udp") {
            if (!required(text))
                return false;
            if (!ParseUnsigned(text, 10, 65535, number)) {
                error = "--" + name + ": not a port number (0..65535): " + text;
                return false;
            }
            (name == "tcp" ? options.tcpPort : options.udpPort) = static_cast<uint16_t>(number);
        } else if (name == "link") {
            if (!required(text))
                return false;
            if (text.empty()) {
                error = "--link needs a path";
                return false;
            }
            options.linkPath = text;
            options.pty = true;
        } else if (name == "bind") {
            if (!required(options.bindAddress))
                return false;
        } else if (name == "address") {
            if (!required(text))
                return false;
            if (!ParseAddressList(text, options.addresses) || options.addresses.none()) {
                error = "--address: must be 1..255 (or a list like 1-247 or 1,5,7-9): " + text;
                return false;
            }
        } else if (name == "control") {
            if (!required(options.controlPath))
                return false;
        } else if (name == "send") {
            if (!required(text))
                return false;
            options.sendCommands.push_back(text);
        } else if (name == "protocol") {
            if (!required(text))
                return false;
            if (text == "auto") {
                options.protocol.reset();
            } else if (!(options.protocol = ParseWireProtocol(text))) {
                error = "--protocol: must be auto, rtu, tcp or 55: " + text;
                return false;
            }
        } else if (name == "coils") {
            if (!required(text))
                return false;
            if (!ParseWord(text, options.coils)) {
                error = "--coils: not a 32-bit hexadecimal word: " + text;
                return false;
            }
        } else if (name == "inputs") {
            if (!required(text))
                return false;
            if (text == "walk") {
                options.inputMode = InputMode::Walk;
            } else if (text == "mirror") {
                options.inputMode = InputMode::Mirror;
            } else if (ParseWord(text, options.inputs)) {
                options.inputMode = InputMode::Fixed;
            } else {
                error = "--inputs: must be walk, mirror or a 32-bit hexadecimal word: " + text;
                return false;
            }
        } else if (name == "walk-ms") {
            if (!required(text))
                return false;
            if (!ParseUnsigned(text, 10, 3600000, number) || number < 10) {
                error = "--walk-ms: must be 10..3600000: " + text;
                return false;
            }
            options.walkMs = static_cast<int>(number);
        } else if (name == "seed") {
            if (!required(text))
                return false;
            if (!ParseUnsigned(text, 10, 0xFFFFFFFFUL, number)) {
                error = "--seed: must be 0..4294967295: " + text;
                return false;
            }
            options.seed = static_cast<uint32_t>(number);
        } else if (Contains(kFaultOptions, name)) {
            if (Contains(kFaultOptionsWithValue, name) && !required(text))
                return false;
            if (value)
                text = *value;
            // "--stuck 5=on" is "stuck 5 on".
            std::replace(text.begin(), text.end(), ',', ' ');
            std::replace(text.begin(), text.end(), '=', ' ');
            options.faultCommands.push_back(text.empty() ? name : name + " " + text);
        } else {
            error = "unknown option: " + argument;
            return false;
        }
    }
    // Fault options are checked by the interpreter that will run them, on a scratch board.
    Board scratchBoard(0, 0, InputMode::Fixed);
    FaultInjector scratchFaults(0);
    Statistics scratchStatistics;
    CommandInterpreter interpreter(scratchBoard, scratchFaults, scratchStatistics);
    for (const std::string &command : options.faultCommands) {
        CommandInterpreter::Outcome outcome =
            interpreter.Execute(command, std::chrono::steady_clock::now());
        if (!outcome.ok) {
            error = "--" + outcome.reply.substr(4); // "ERR drop: ..." becomes "--drop: ..."
            return false;
        }
    }
    if (!options.tcpPort && !options.udpPort && !options.pty) {
        options.tcpPort = Options::kDefaultPort;
        options.udpPort = Options::kDefaultPort;
        options.pty = true;
    }
    return true;
}
