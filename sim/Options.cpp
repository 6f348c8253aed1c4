#include "Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>

#include "CommandInterpreter.h"
#include "FaultInjector.h"
#include "OptionCheck.h"
#include "PlatformOptions.h"
#include "Statistics.h"

namespace {

bool ParseUnsigned(const std::string& text, int base, unsigned long high, unsigned long& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || value > high)
        return false;
    out = value;
    return true;
}

// A 32-bit word in hexadecimal, with or without 0x.
bool ParseWord(const std::string& text, uint32_t& out) {
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

// Fault options are commands: "--delay=300,50" is the command "delay 300 50". Those whose
// value may be left out come first.
struct FaultOption {
    const char* name;
    const char* value;
    const char* what;
};
const FaultOption kFaultOptions[] = {
    {"silent", "[=MS]", "answer nothing (for MS ms)"},
    {"echo", "[=on|off]", "hand every request back first (RS-485 echo)"},
    {"split", "[=PCT[,GAP]]", "TCP answers in two segments"},
    {"wrongid", "[=PCT]", "another Modbus TCP transaction id"},
    {"late", "[=PCT]", "answer with the previous request's answer"},
    {"drop", "PCT", "no answer"},
    {"corrupt", "PCT", "answers with a broken check"},
    {"delay", "MS[,PCT]", "answers MS ms late"},
    {"exception", "CODE[,PCT]", "Modbus exception CODE"},
    {"turnaround", "MS", "every answer starts MS ms after its request"},
    {"baud", "N", "pty answers at the wire time of N baud"},
    {"chunks", "N[,GAP]", "every answer in N pieces GAP ms (20) apart"},
    {"stray", "PCT", "1-4 junk bytes after PCT % of the answers"},
    {"stranger", "PCT", "UDP: another host answers first"},
    {"dup", "MS", "UDP: every answer twice, MS ms apart"},
    {"idle-close", "MS", "TCP: close connections idle for MS ms"},
    {"reset", "MS[,drop]", "restart: silent MS ms, then every coil OFF"},
    {"stuck", "K[=on|off]", "coil K does not move (stays on, off)"},
    {"short", "A,B", "coils A and B switch together"},
    {"dead-input", "K", "input K always reads off"},
    {"silent-addresses", "LIST", "no answer at these addresses"},
    {"silent-after", "N", "silent after N more answers"},
};
constexpr size_t kValueOptional = 5;

const FaultOption* FindFault(const std::string& name) {
    for (const FaultOption& option : kFaultOptions) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

// What the command line gives as text and is checked and converted by the options' own
// rules, in the messages these options have always had.
struct Texts {
    std::string coils, inputs, protocol, address, line, bounce;
};

bool IsPort(const std::string& text) {
    unsigned long number = 0;
    return ParseUnsigned(text, 10, 65535, number);
}

// A whole number in low..high, refused with the range in its message.
CLI::Validator Range(unsigned long low, unsigned long high) {
    return OptionCheck(
        [low, high](const std::string& text) {
            unsigned long number = 0;
            return ParseUnsigned(text, 10, high, number) && number >= low;
        },
        "must be " + std::to_string(low) + ".." + std::to_string(high));
}

// A 32-bit word in hexadecimal.
CLI::Validator HexWord() {
    return OptionCheck(
        [](const std::string& text) {
            uint32_t word = 0;
            return ParseWord(text, word);
        },
        "not a 32-bit hexadecimal word");
}

// Declares every option of `app`, bound to `options` and `texts`.
void Declare(CLI::App& app, Options& options, Texts& texts) {
    app.description(PlatformOptions::Description());
    app.get_formatter()->column_width(26);
    app.set_help_flag("--help", "this text");
    auto last = CLI::MultiOptionPolicy::TakeLast;

    const std::string where =
        "Where it listens (without any: " + PlatformOptions::DefaultListeners() + ")";
    app.add_option("--tcp", options.tcpPort, "TCP server on PORT (0: the system chooses)")
        ->type_name("PORT")
        ->check(OptionCheck(IsPort, "not a port number (0..65535)"))
        ->multi_option_policy(last)
        ->group(where);
    app.add_option("--udp", options.udpPort, "UDP on PORT (0: the system chooses)")
        ->type_name("PORT")
        ->check(OptionCheck(IsPort, "not a port number (0..65535)"))
        ->multi_option_policy(last)
        ->group(where);
    app.add_option("--bind", options.bindAddress,
                   "IPv4 address for TCP and UDP (default 127.0.0.1)")
        ->type_name("ADDRESS")
        ->multi_option_policy(last)
        ->group(where);
    PlatformOptions::Declare(app, options, texts.line, where);

    const std::string board = "The board";
    app.add_option("--address", texts.address,
                   "the address(es) it answers at, with the address asked:\n"
                   "7, 1-247 or 1,5,7-9 (1..255; default 1)")
        ->type_name("LIST")
        ->check(OptionCheck(
            [](const std::string& text) {
                AddressSet set;
                return ParseAddressList(text, set) && set.any();
            },
            "must be 1..255 (or a list like 1-247 or 1,5,7-9)"))
        ->multi_option_policy(last)
        ->group(board);
    app.add_option("--protocol", texts.protocol, "answer only rtu, tcp or 55 (default auto)")
        ->type_name("P")
        ->check(OptionCheck(
            [](const std::string& text) { return text == "auto" || ParseWireProtocol(text); },
            "must be auto, rtu, tcp or 55"))
        ->multi_option_policy(last)
        ->group(board);
    app.add_option("--coils", texts.coils, "initial coil states, bit k = coil k (default 0)")
        ->type_name("HEX")
        ->check(HexWord())
        ->multi_option_policy(last)
        ->group(board);
    app.add_option("--inputs", texts.inputs,
                   "HEX (fixed states), walk (one lit input moving every\n"
                   "--walk-ms) or mirror (input k follows coil k)")
        ->type_name("X")
        ->check(OptionCheck(
            [](const std::string& text) {
                uint32_t word = 0;
                return text == "walk" || text == "mirror" || ParseWord(text, word);
            },
            "must be walk, mirror or a 32-bit hexadecimal word"))
        ->multi_option_policy(last)
        ->group(board);
    app.add_option("--points", options.points,
                   "points it has, 1..32 (default 32): Modbus requests for the\n"
                   "others answer exception 02, 0x55 switches none of them")
        ->type_name("N")
        ->check(Range(1, 32))
        ->multi_option_policy(last)
        ->group(board);
    app.add_option("--walk-ms", options.walkMs, "step of the walking input in ms (default 500)")
        ->type_name("N")
        ->check(Range(10, 3600000))
        ->multi_option_policy(last)
        ->group(board);
    app.add_option("--follow-ms", options.followMs,
                   "with --inputs mirror: input k follows coil k MS later\n(default 0)")
        ->type_name("MS")
        ->check(Range(0, 60000))
        ->multi_option_policy(last)
        ->group(board);
    app.add_option("--bounce", texts.bounce,
                   "bit k: input k bounces when it changes, toggling 4 times\n"
                   "--bounce-ms apart before it settles (default 0: none)")
        ->type_name("HEX")
        ->check(HexWord())
        ->multi_option_policy(last)
        ->group(board);
    app.add_option("--bounce-ms", options.bounceMs,
                   "time between two toggles of a bounce (default 10)")
        ->type_name("MS")
        ->check(Range(1, 10000))
        ->multi_option_policy(last)
        ->group(board);

    const std::string faults = "Faults (the commands below; commas for spaces; repeatable)";
    for (const FaultOption& fault : kFaultOptions) {
        // Only collected here; FaultCommands() turns them into commands in their order.
        CLI::Option* option =
            app.add_option(std::string("--") + fault.name,
                           CLI::callback_t([](const CLI::results_t&) { return true; }), fault.what)
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                ->type_name(fault.value)
                ->group(faults);
        if (&fault < kFaultOptions + kValueOptional)
            option->expected(0, 1);
    }
    app.add_option("--seed", options.seed,
                   "seed of the random faults (default: from the clock, printed)")
        ->type_name("N")
        ->check(OptionCheck(
            [](const std::string& text) {
                unsigned long number = 0;
                return ParseUnsigned(text, 10, 0xFFFFFFFFUL, number);
            },
            "must be 0..4294967295"))
        ->multi_option_policy(last)
        ->group(faults);

    app.add_flag("--quiet", options.quiet, "no traffic lines")
        ->disable_flag_override()
        ->group("Output");
    PlatformOptions::DeclareCommands(app, options);
    app.footer(PlatformOptions::StartFooter() + "\n" + CommandInterpreter::Help());
}

// The fault options as commands, in the order they were given.
std::vector<std::string> FaultCommands(const CLI::App& app) {
    std::vector<std::string> commands;
    std::map<const CLI::Option*, size_t> taken;
    for (const CLI::Option* option : app.parse_order()) {
        const std::string name = option->get_name().substr(2);
        if (FindFault(name) == nullptr)
            continue;
        const CLI::results_t& values = option->results();
        std::string value = taken[option] < values.size() ? values[taken[option]] : "";
        ++taken[option];
        // "--stuck 5=on" is "stuck 5 on".
        std::replace(value.begin(), value.end(), ',', ' ');
        std::replace(value.begin(), value.end(), '=', ' ');
        commands.push_back(value.empty() ? name : name + " " + value);
    }
    return commands;
}

} // namespace

std::string Usage() {
    CLI::App app{"", "vornak-sim"};
    Options options;
    Texts texts;
    Declare(app, options, texts);
    return app.help();
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    CLI::App app{"", "vornak-sim"};
    Texts texts;
    Declare(app, options, texts);
    // The one place where the library's exceptions are caught: the parse's outcome
    // becomes a result and a message.
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return true;
    } catch (const CLI::ParseError& failure) {
        error = failure.what();
        return false;
    }
    if (!texts.address.empty())
        ParseAddressList(texts.address, options.addresses);
    if (!texts.protocol.empty())
        options.protocol = ParseWireProtocol(texts.protocol); // "auto": nothing
    if (!texts.coils.empty())
        ParseWord(texts.coils, options.coils);
    if (texts.inputs == "walk") {
        options.inputMode = InputMode::Walk;
    } else if (texts.inputs == "mirror") {
        options.inputMode = InputMode::Mirror;
    } else if (!texts.inputs.empty()) {
        ParseWord(texts.inputs, options.inputs);
    }
    if (!texts.bounce.empty())
        ParseWord(texts.bounce, options.bouncing);
    if (options.followMs > 0 && options.inputMode != InputMode::Mirror) {
        error = "--follow-ms: needs --inputs mirror";
        return false;
    }
    options.faultCommands = FaultCommands(app);

    // Fault options are checked by the interpreter that will run them, on a scratch board.
    Board scratchBoard(0, 0, InputMode::Fixed);
    FaultInjector scratchFaults(0);
    Statistics scratchStatistics;
    CommandInterpreter interpreter(scratchBoard, scratchFaults, scratchStatistics);
    for (const std::string& command : options.faultCommands) {
        CommandInterpreter::Outcome outcome =
            interpreter.Execute(command, std::chrono::steady_clock::now());
        if (!outcome.ok) {
            error = "--" + outcome.reply.substr(4); // "ERR drop: ..." becomes "--drop: ..."
            return false;
        }
    }
    PlatformOptions::Finish(options, texts.line);
    return true;
}
