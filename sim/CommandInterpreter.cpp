#include "CommandInterpreter.h"

#include "AddressList.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

// A decimal integer in [low, high]; false for anything else.
bool ParseInt(const std::string &text, long low, long high, long &out) {
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high)
        return false;
    out = value;
    return true;
}

// The optional argument at `index`: its value, the default when absent, false when bad.
bool OptionalInt(const std::vector<std::string> &words, size_t index, long low, long high,
                 long fallback, long &out) {
    if (words.size() <= index) {
        out = fallback;
        return true;
    }
    return ParseInt(words[index], low, high, out);
}

CommandInterpreter::Outcome Error(const std::string &text) {
    return {false, false, "ERR " + text};
}

CommandInterpreter::Outcome Ok(const std::vector<std::string> &words) {
    std::string line = "OK";
    for (const std::string &word : words)
        line += " " + word;
    return {true, false, line};
}

constexpr long kMaxMs = 3600 * 1000;
constexpr long kMinBaud = 50;
constexpr long kMaxBaud = 4000000;
constexpr long kMaxChunks = 260; // the longest answer, byte by byte

} // namespace

CommandInterpreter::CommandInterpreter(Board &board, FaultInjector &faults,
                                       const Statistics &statistics)
    : board(board), faults(faults), statistics(statistics) {}

std::string CommandInterpreter::Help() {
    return "commands (the fault options take the same arguments, commas for spaces):\n"
           "  silent [MS]          answer nothing, for MS ms or until resume\n"
           "  resume               answer again\n"
           "  silent-after N       answer N more requests, then nothing until resume\n"
           "  drop PCT             send no answer for PCT % of the requests\n"
           "  corrupt PCT          break the CRC or checksum of PCT % of the answers\n"
           "                       (Modbus TCP: the protocol identifier)\n"
           "  delay MS [PCT]       send PCT % (100) of the answers MS ms late\n"
           "  split [PCT [GAP]]    send PCT % (100) of TCP answers in two segments,\n"
           "                       GAP ms (50) apart\n"
           "  exception CODE [PCT] answer PCT % (100) of Modbus requests with exception\n"
           "                       CODE; 0 switches it off\n"
           "  wrongid [PCT]        give PCT % (100) of Modbus TCP answers another\n"
           "                       transaction id\n"
           "  late [PCT]           answer PCT % (100) of the requests with the answer to\n"
           "                       the previous request\n"
           "  turnaround MS        start every answer MS ms after its request\n"
           "  baud N               pace pty answers at the wire time of N baud, 10 bits a\n"
           "                       byte (0: at once)\n"
           "  chunks N [GAP]       send every answer in N pieces GAP ms (20) apart, on\n"
           "                       every transport (over UDP as N datagrams); 1: whole\n"
           "  stray PCT            follow PCT % of the answers by 1-4 junk bytes\n"
           "  stranger PCT         PCT % of UDP answers come after a well-formed one with\n"
           "                       the opposite states from another host (127.0.0.2)\n"
           "  echo [on|off]        the line hands every request back at once, before any\n"
           "                       answer and also while silent (an echoing RS-485 adapter)\n"
           "  dup MS               send every UDP answer twice, the copy MS ms later; 0: once\n"
           "  idle-close MS        close TCP connections that bring no request for MS ms;\n"
           "                       0: never (a gateway's idle time-out)\n"
           "  reset MS [drop]      the board restarts: silent for MS ms, then back with every\n"
           "                       coil OFF; drop: its TCP connections are closed at once\n"
           "  stuck K [on|off]     coil K (0..31) stays as it is (or on, or off)\n"
           "  short A B            coils A and B are shorted: switching one switches both\n"
           "  dead-input K         input K (0..31) always reads off\n"
           "  silent-addresses L   no answer at the addresses L (7, 2-9, 1,5,7-9; none)\n"
           "  clear                switch every fault off, the board's ones too\n"
           "  seed N               restart the random faults from seed N\n"
           "  coil K 0|1           set coil K (0..31)\n"
           "  input K 0|1          set input K (0..31)\n"
           "  state                print the 64 states: STATE coils=... inputs=...\n"
           "  stats                print the counters: STATS requests=... \n"
           "  help                 this text\n"
           "  quit                 stop the simulator";
}

std::string CommandInterpreter::StateLine() const {
    std::string line = "STATE coils=";
    for (int i = 0; i < Board::kPoints; ++i)
        line += board.Coil(i) ? '1' : '0';
    line += " inputs=";
    for (int i = 0; i < Board::kPoints; ++i)
        line += board.Input(i) ? '1' : '0';
    return line;
}

CommandInterpreter::Outcome CommandInterpreter::Execute(const std::string &line,
                                                        Clock::time_point now) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    if (words.empty() || words[0][0] == '#')
        return {true, false, ""};

    const std::string &name = words[0];
    const size_t count = words.size();
    FaultSettings &settings = faults.Settings();
    long a = 0;
    long b = 0;
    long c = 0;

    if (name == "silent" && count <= 2) {
        if (count == 1) {
            faults.Silence(-1, now);
            return Ok(words);
        }
        if (!ParseInt(words[1], 0, kMaxMs, a))
            return Error("silent: MS must be 0.." + std::to_string(kMaxMs));
        faults.Silence(static_cast<int>(a), now);
        return Ok(words);
    }
    if (name == "silent-after" && count == 2) {
        if (!ParseInt(words[1], 1, kMaxMs, a))
            return Error("silent-after: N must be 1.." + std::to_string(kMaxMs));
        faults.SilenceAfter(static_cast<int>(a));
        return Ok(words);
    }
    if (name == "resume" && count == 1) {
        faults.Resume();
        return Ok(words);
    }
    if ((name == "drop" || name == "corrupt") && count == 2) {
        if (!ParseInt(words[1], 0, 100, a))
            return Error(name + ": PCT must be 0..100");
        (name == "drop" ? settings.dropShare : settings.corruptShare) = static_cast<int>(a);
        return Ok(words);
    }
    if (name == "delay" && (count == 2 || count == 3)) {
        if (!ParseInt(words[1], 0, kMaxMs, a) || !OptionalInt(words, 2, 0, 100, 100, b)) {
            return Error("delay: MS [PCT] with PCT 0..100");
        }
        settings.delayMs = static_cast<int>(a);
        settings.delayShare = static_cast<int>(b);
        return Ok(words);
    }
    if (name == "split" && count <= 3) {
        if (!OptionalInt(words, 1, 0, 100, 100, a) || !OptionalInt(words, 2, 0, kMaxMs, 50, b)) {
            return Error("split: [PCT [GAP]] with PCT 0..100");
        }
        settings.splitShare = static_cast<int>(a);
        settings.splitGapMs = static_cast<int>(b);
        return Ok(words);
    }
    if (name == "exception" && (count == 2 || count == 3)) {
        if (!ParseInt(words[1], 0, 255, a) || !OptionalInt(words, 2, 0, 100, 100, b)) {
            return Error("exception: CODE [PCT] with CODE 0..255 and PCT 0..100");
        }
        settings.exceptionCode = static_cast<int>(a);
        settings.exceptionShare = static_cast<int>(b);
        return Ok(words);
    }
    if ((name == "wrongid" || name == "late") && count <= 2) {
        if (!OptionalInt(words, 1, 0, 100, 100, a))
            return Error(name + ": PCT must be 0..100");
        (name == "wrongid" ? settings.wrongIdShare : settings.lateShare) = static_cast<int>(a);
        return Ok(words);
    }
    if (name == "turnaround" && count == 2) {
        if (!ParseInt(words[1], 0, kMaxMs, a))
            return Error("turnaround: MS must be 0.." + std::to_string(kMaxMs));
        settings.turnaroundMs = static_cast<int>(a);
        return Ok(words);
    }
    if (name == "baud" && count == 2) {
        if (!ParseInt(words[1], 0, kMaxBaud, a) || (a != 0 && a < kMinBaud))
            return Error("baud: N must be 0 (off) or " + std::to_string(kMinBaud) + ".." +
                         std::to_string(kMaxBaud));
        settings.baud = static_cast<int>(a);
        return Ok(words);
    }
    if (name == "chunks" && (count == 2 || count == 3)) {
        if (!ParseInt(words[1], 1, kMaxChunks, a) || !OptionalInt(words, 2, 0, kMaxMs, 20, b))
            return Error("chunks: N [GAP] with N 1.." + std::to_string(kMaxChunks));
        settings.chunks = static_cast<int>(a);
        settings.chunkGapMs = static_cast<int>(b);
        return Ok(words);
    }
    if (name == "echo" && count <= 2) {
        if (count == 2 && words[1] != "on" && words[1] != "off")
            return Error("echo: [on|off]");
        settings.echo = count == 1 || words[1] == "on";
        return Ok(words);
    }
    if ((name == "dup" || name == "idle-close") && count == 2) {
        if (!ParseInt(words[1], 0, kMaxMs, a))
            return Error(name + ": MS must be 0.." + std::to_string(kMaxMs));
        (name == "dup" ? settings.duplicateMs : settings.idleCloseMs) = static_cast<int>(a);
        return Ok(words);
    }
    if (name == "reset" && (count == 2 || count == 3)) {
        if (!ParseInt(words[1], 0, kMaxMs, a) || (count == 3 && words[2] != "drop"))
            return Error("reset: MS [drop]");
        // Off for MS, then back with every coil OFF: nothing can read the states meanwhile.
        faults.Silence(static_cast<int>(a), now);
        board.PowerCycle();
        Outcome outcome = Ok(words);
        outcome.dropConnections = count == 3;
        return outcome;
    }
    if (name == "stranger" && count == 2) {
        if (!ParseInt(words[1], 0, 100, a))
            return Error("stranger: PCT must be 0..100");
        settings.strangerShare = static_cast<int>(a);
        return Ok(words);
    }
    if (name == "stray" && count == 2) {
        if (!ParseInt(words[1], 0, 100, a))
            return Error("stray: PCT must be 0..100");
        settings.strayShare = static_cast<int>(a);
        return Ok(words);
    }
    if (name == "stuck" && (count == 2 || count == 3)) {
        const bool named = count == 3 && (words[2] == "on" || words[2] == "off");
        if (!ParseInt(words[1], 0, Board::kPoints - 1, a) || (count == 3 && !named))
            return Error("stuck: K [on|off] with K 0..31");
        const int coil = static_cast<int>(a);
        board.StickCoil(coil, named ? words[2] == "on" : board.Coil(coil));
        return Ok(words);
    }
    if (name == "short" && count == 3) {
        if (!ParseInt(words[1], 0, Board::kPoints - 1, a) ||
            !ParseInt(words[2], 0, Board::kPoints - 1, b) || a == b)
            return Error("short: A B, two different coils 0..31");
        board.ShortCoils(static_cast<int>(a), static_cast<int>(b));
        return Ok(words);
    }
    if (name == "dead-input" && count == 2) {
        if (!ParseInt(words[1], 0, Board::kPoints - 1, a))
            return Error("dead-input: K must be 0..31");
        board.KillInput(static_cast<int>(a));
        return Ok(words);
    }
    if (name == "silent-addresses" && count >= 2) {
        // "2-9", "1,5" or, as the option gives it, "1 5": all one list.
        std::string list = words[1];
        for (size_t i = 2; i < count; ++i)
            list += "," + words[i];
        AddressSet addresses;
        if (!ParseAddressList(list, addresses))
            return Error("silent-addresses: a list of 1..255 like 7, 2-9 or 1,5,7-9, or none");
        faults.SilenceAddresses(addresses);
        return Ok(words);
    }
    if (name == "clear" && count == 1) {
        faults.Clear();
        board.Repair();
        return Ok(words);
    }
    if (name == "seed" && count == 2) {
        if (!ParseInt(words[1], 0, 0xFFFFFFFFL, a))
            return Error("seed: N must be 0..4294967295");
        faults.Reseed(static_cast<uint32_t>(a));
        return Ok(words);
    }
    if ((name == "coil" || name == "input") && count == 3) {
        if (!ParseInt(words[1], 0, Board::kPoints - 1, b) || !ParseInt(words[2], 0, 1, c)) {
            return Error(name + ": K 0|1 with K 0..31");
        }
        if (name == "coil") {
            board.SetCoil(static_cast<int>(b), c != 0);
        } else if (!board.SetInput(static_cast<int>(b), c != 0)) {
            return Error("input: the inputs follow the coils (--inputs mirror)");
        }
        return Ok(words);
    }
    if (name == "state" && count == 1)
        return {true, false, StateLine()};
    if (name == "stats" && count == 1)
        return {true, false, "STATS " + statistics.ToLine()};
    if (name == "help" && count == 1)
        return {true, false, Help() + "\nOK help"};
    if (name == "quit" && count == 1)
        return {true, true, "OK quit"};
    return Error("unknown command or wrong arguments: " + line + " (try help)");
}
