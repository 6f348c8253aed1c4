// vornak-cli as scripts meet it: what each command prints, its exit status, the message of
// each bad command line, and a clean end on Ctrl-C.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <netinet/in.h>
#include <nlohmann/json.hpp>

#include "comm/posix/ExclusivePort.h"
#include "support/SimProcess.h"

namespace {

using nlohmann::json;

ProgramRun RunCli(std::vector<std::string> args, const RunTrigger& when = {}) {
    args.insert(args.begin(), VORNAK_CLI_PATH);
    return RunProgram(args, "", when);
}

// Calls act(pid) once `text` shows on standard error, until it returns true; by default it
// sends SIGINT.
RunTrigger After(
    const std::string& text,
    std::function<bool(pid_t)> act = [](pid_t pid) { return ::kill(pid, SIGINT) == 0; }) {
    return [=, done = false](pid_t pid, const ProgramRun& run) mutable {
        if (!done && run.err.find(text) != std::string::npos)
            done = act(pid);
        return false;
    };
}

// "" when `out` fits the command's schema in docs/schema, otherwise the fault.
std::string SchemaFault(const std::string& command, const std::string& out) {
    const bool lines = command == "poll" || command == "wait";
    const ProgramRun check =
        RunProgram({"/usr/bin/python3", VORNAK_SOURCE_DIR "/tests/cli/check-json.py",
                    VORNAK_SOURCE_DIR "/docs/schema/vornak-cli-" + command + ".schema.json",
                    lines ? "--lines" : "--one"},
                   out);
    return check.status == 0 ? "" : check.err + " in " + out;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Start({"--tcp", "0", "--udp", "0", "--pty", "--quiet", "--address", "7",
                               "--inputs", "mirror", "--coils", "80000011"}))
            << sim.ErrorOutput();
        tcp = "127.0.0.1:" + std::to_string(sim.TcpPort());
        udp = "127.0.0.1:" + std::to_string(sim.UdpPort());
    }
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out; // all of standard output; JSON is compared as JSON
        std::string err; // a part of standard error; "=..." all of it
    };
    // Runs each case; --json output must also fit its command's schema.
    void Check(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            const ProgramRun run = RunCli(c.args);
            const std::string line = c.args[c.args.size() > 5 ? 5 : c.args.size() - 1];
            EXPECT_EQ(run.status, c.status) << line << ": " << run.err;
            if (!c.out.empty() && c.out[0] == '{')
                EXPECT_EQ(json::parse(run.out, nullptr, false), json::parse(c.out)) << run.out;
            else if (c.out != "*")
                EXPECT_EQ(run.out, c.out) << line;
            if (!c.err.empty() && c.err[0] == '=')
                EXPECT_EQ(run.err, c.err.substr(1)) << line;
            else
                EXPECT_NE(run.err.find(c.err), std::string::npos) << line << ": " << run.err;
            // The command is the first of these after --json.
            static const std::string kCommands[] = {"read", "write",    "poll",
                                                    "wait", "selftest", "scan"};
            const auto json = std::find(c.args.begin(), c.args.end(), "--json");
            const auto command =
                std::find_first_of(json, c.args.end(), std::begin(kCommands), std::end(kCommands));
            EXPECT_EQ(command == c.args.end() ? "" : SchemaFault(*command, run.out), "") << line;
        }
    }
    // `args` for the simulated board over TCP, after `options`.
    std::vector<std::string> At(std::vector<std::string> args,
                                const std::vector<std::string>& options = {}) {
        std::vector<std::string> all{"--tcp", tcp, "--address", "7"};
        all.insert(all.end(), options.begin(), options.end());
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    SimProcess sim{VORNAK_SIM_PATH};
    std::string tcp, udp;
};

TEST_F(Cli, BadCommandLinesExitWithTwoAndSayWhatToFix) {
    const int held = OpenExclusivePort(sim.PtyPath());
    ASSERT_GE(held, 0);
    const std::string pty = sim.PtyPath();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"read", "coils"}, "Exactly 1 option from [--tcp,--udp,--serial] is required"},
        {{"--tcp", tcp, "--udp", udp, "read", "coils"}, "2 were given"},
        {{"--tcp", "127.0.0.1", "read", "coils"}, "--tcp: needs a port from 1 to 65535"},
        {{"--tcp", "::1:502", "read", "coils"}, "--tcp: write an IPv6 address in brackets"},
        {{"--udp", udp, "--local", "10.0.0.1", "read", "coils"}, "--local: needs a port"},
        {{"--udp", udp, "--local", "192.0.2.1:5", "read", "coils"},
         "cannot bind the UDP socket to --local 192.0.2.1:5"},
        {{"--tcp", tcp, "--frob", "read", "coils"}, "unknown option --frob"},
        {{"raed", "coils"}, "unknown command raed; did you mean read?"},
        {{"--tcp", tcp, "slftest"}, "unknown command slftest; did you mean selftest?"},
        {{"--tcp", tcp}, "a command is needed"},
        {{"--tcp", tcp, "--baud", "9600", "read", "coils"}, "--baud requires --serial"},
        {{"--tcp", tcp, "--address", "300", "read", "coils"},
         "--address: must be a whole number from 1 to 255, not 300"},
        {{"--tcp", tcp, "poll", "--count", "0"}, "--count: must be a whole number from 1 to"},
        {{"--serial", pty, "--parity", "2", "read", "coils"},
         "--parity: must be none, odd or even (or N, O, E), not 2"},
        {{"--serial", pty + ":9600,8E1", "--parity", "odd", "read", "coils"},
         "already in --serial"},
        {{"--tcp", tcp, "read", "coils", "30", "5"}, "START + COUNT must not be above 32"},
        {{"--tcp", tcp, "--protocol", "55", "read", "inputs"}, "0x55 protocol carries no inputs"},
        {{"--tcp", tcp, "--protocol", "55", "selftest", "--loopback"}, "no inputs to check"},
        {{"--tcp", tcp, "write", "32", "on"}, "a coil must be a whole number from 0 to 31, not 32"},
        {{"--tcp", tcp, "write", "3"}, "coil 3 needs on or off after it"},
        {{"--tcp", tcp, "write", "--mask", "0x1G"}, "--mask: must be a hexadecimal word"},
        {{"--tcp", tcp, "wait", "input", "5", "on", "--timeout", "0"},
         "--timeout: must be seconds above 0"},
        {{"--tcp", tcp, "scan", "--bauds"}, "only a serial port has baud rates"},
        {{"--serial", "/dev/vornak-no-such-tty", "read", "coils"}, "does not exist"},
        {{"--serial", pty, "read", "coils"}, "is busy: held by " + std::to_string(::getpid())},
    };
    for (const auto& [args, message] : cases) {
        const ProgramRun run = RunCli(args);
        EXPECT_EQ(run.status, 2) << args.back();
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
    }
    CloseExclusivePort(held);
}

TEST_F(Cli, EachCommandPrintsItsResultAndExitStatus) {
    // A listener on ::1 that takes the connection and never answers.
    const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 local{};
    local.sin6_family = AF_INET6;
    local.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof local;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&local), length), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
    const std::string ipv6 = "[::1]:" + std::to_string(ntohs(local.sin6_port));
    const std::string localhost = "localhost:" + std::to_string(sim.TcpPort());
    const std::string pty = sim.PtyPath();
    Check({
        // clang-format off
        {{"--tcp", tcp, "--address", "7", "read", "coils", "0", "5"}, 0,
         "coils: 0:ON, 1:OFF, 2:OFF, 3:OFF, 4:ON\n", "=" },
        {{"--udp", "localhost:" + std::to_string(sim.UdpPort()), "--address", "7", "--json", "read",
          "inputs", "2", "5"}, 0,
         R"({"command":"read","ok":true,"interrupted":false,"points":"inputs","start":2,
             "states":[false,false,true,false,false]})", "="},
        // Modbus TCP over TCP and UDP, RTU on a serial port, unless --protocol says otherwise.
        {{"--tcp", localhost, "--address", "7", "--verbose", "write", "3", "on"}, 0,
         "coil 3: ON\n", "发送: 00 01 00 00 00 06 07 05 00 03 FF 00 \n接收: "},
        {{"--udp", udp, "--address", "7", "--verbose", "read", "coils", "0", "1"}, 0, "*",
         "发送: 00 01 00 00 00 06 07 01 00 00 00 01 \n"},
        {{"--tcp", tcp, "--address", "7", "--protocol", "rtu", "--verbose", "read", "coils", "0",
          "1"}, 0, "*", "发送: 07 01 00 00 00 01 "},
        {{"--serial", pty + ":19200", "--address", "7", "--verbose", "read", "coils", "0", "1"}, 0,
         "coils: 0:ON\n", "发送: 07 01 00 00 00 01 "},
        {{"--tcp", ipv6, "--timeout", "50", "--retries", "1", "read", "coils"}, 1, "",
         "=vornak-cli: read failed: 接收超时 (timeout)\n"},
        // The relay protocol toggles: asked for ON twice, coil 5 is ON, not back OFF.
        {{"--udp", udp, "--address", "7", "--protocol", "55", "--json", "write", "5", "on"}, 0,
         R"({"command":"write","ok":true,"interrupted":false,
             "coils":[{"coil":5,"wanted":true,"state":true,"verified":true}]})", "="},
        {{"--udp", udp, "--address", "7", "--protocol", "55", "write", "5", "on"}, 0,
         "coil 5: ON\n", "="},
        {{"--tcp", tcp, "--address", "9", "--timeout", "50", "--json", "read", "coils"}, 1,
         R"({"command":"read","ok":false,"interrupted":false,"points":"coils","start":0,
             "error":{"kind":"timeout","code":-5,"text":"接收超时"}})",
         "=vornak-cli: read failed: 接收超时 (timeout)\n"},
        {{"--tcp", "127.0.0.1:1", "read", "coils"}, 1, "", "cannot connect to 127.0.0.1:1"},
        {{"--udp", udp, "--json", "scan", "--from", "5", "--to", "9", "--first", "--protocol",
          "tcp"}, 0,
         R"({"command":"scan","ok":true,"interrupted":false,
             "found":[{"address":7,"protocol":"tcp"}]})", "scan: addresses 5..9; protocols tcp"},
        // Plan and progress go to standard error, not with --quiet; standard output stays clean.
        {{"--tcp", tcp, "--protocol", "55", "scan", "--to", "6"}, 1, "0 found\n",
         "scan: addresses 1..6; protocols 55; 6 probes, at most about 1 s\nscan: 1/6 (16 %)"},
        {{"--tcp", tcp, "--protocol", "55", "--quiet", "scan", "--to", "6"}, 1, "0 found\n", "="},
        {{"--serial", pty, "scan", "--bauds", "--protocol", "rtu", "--from", "7", "--to", "7",
          "--first", "--quiet"}, 0, "found: address 7, protocol rtu, 9600 baud, parity none\n1 found\n",
         "="},
        // clang-format on
    });
    ::close(listener);
    EXPECT_EQ(sim.Coils(), 0x80000039u); // 3 and 5 switched on
}

TEST_F(Cli, JsonIsOneDocumentThatFitsItsSchema) {
    // Coil 4 (ON) shorted to coil 5 (OFF): restoring coil 4 leaves coil 5 ON, said plainly.
    ASSERT_TRUE(sim.Command("short 4 5"));
    const ProgramRun shorted = RunCli({"--tcp", tcp, "--address", "7", "selftest"});
    EXPECT_EQ(shorted.status, 1);
    EXPECT_NE(shorted.out.find("coils NOT restored: before 80000011, now 80000031; coil 5 ON\n"),
              std::string::npos)
        << shorted.out;
    ASSERT_TRUE(sim.Command("clear") && sim.Command("coil 5 0") && sim.Command("stuck 9"));
    auto with = [&](std::vector<std::string> args) { return At(args, {"--json", "--stats"}); };
    Check({
        {with({"selftest", "--loopback"}), 1, "*", ""},
        {with({"write", "9", "on", "1", "on"}), 1, "*", "coil 9 did not switch on (not_switched)"},
        {with({"poll", "--count", "2", "--interval", "100"}), 0, "*", ""},
        {with({"wait", "coil", "1", "on", "--timeout", "1"}), 0, "*", "="},
        {with({"wait", "input", "2", "on", "--timeout", "0.3", "--interval", "100"}), 1, "*",
         "input 2 not ON within"},
        {with({"scan", "--to", "8", "--protocol", "tcp"}), 0, "*", ""},
        {{"--tcp", tcp, "--address", "8", "--timeout", "20", "--json", "poll", "--count", "1"},
         1,
         "*",
         "poll: 接收超时 (timeout)"},
    });
    // Two reads at the start, 4 transactions a coil, the writes that restore coils 0, 4 and 31
    // (ON at the start, left OFF by their test), a final read: 134, every one answered.
    const ProgramRun run = RunCli(with({"selftest"}));
    const json report = json::parse(run.out, nullptr, false);
    EXPECT_EQ(report["end"], "finished");
    EXPECT_EQ(report["coils"][9], json::parse(R"({"coil":9,"ok":false,"fault":"did_not_switch_on",
                                                   "text":"did not switch on"})"));
    EXPECT_EQ(report["statistics"]["transactions"], 134) << run.out;
    EXPECT_EQ(report["statistics"]["outcomes"]["ok"], 134);
}

TEST_F(Cli, WritesAreReadBackAndWaitSeesTheBoardChange) {
    ASSERT_TRUE(sim.Command("stuck 9"));
    Check({
        {At({"write", "9", "on"}), 1, "coil 9: OFF\n",
         "=vornak-cli: coil 9 did not switch on (not_switched)\n"},
        // Trusting the write's echo shows a state the board does not have: only on request.
        {At({"write", "9", "on", "--no-verify"}), 0, "coil 9: ON\n", "="},
        {At({"write", "--mask", "0x0000020F"}), 1, "coils: 11110000000000000000000000000000\n",
         "coil 9 did not switch on"},
        {At({"write", "--all", "on"}), 1, "*", "coil 9 did not switch on"},
        {At({"write", "2", "off", "31", "off", "3", "off"}), 0,
         "coil 2: OFF\ncoil 31: OFF\ncoil 3: OFF\n", "="},
        {At({"wait", "input", "2", "on", "--timeout", "0.3", "--interval", "100"}), 1, "",
         "vornak-cli: input 2 not ON within"},
    });
    EXPECT_EQ(sim.Coils(), 0x7FFFFDF3u);
    const ProgramRun wait =
        RunCli(At({"--verbose", "wait", "input", "2", "on", "--interval", "100"}),
               After("接收: ", [&](pid_t) { return sim.Command("coil 2 1"); }));
    EXPECT_EQ(wait.status, 0) << wait.err;
    EXPECT_EQ(wait.out.rfind("input 2: ON after ", 0), 0u) << wait.out;
}

TEST_F(Cli, AClosedReaderAndCtrlCEndCleanly) {
    // `poll | head -1`: the reader goes after one line; poll ends at once, successfully.
    for (const char* format : {"--json", "--verbose"}) {
        std::chrono::steady_clock::time_point closed; // when the reader went
        const ProgramRun poll = RunCli(At({format, "poll"}), [&](pid_t, const ProgramRun& run) {
            closed = std::chrono::steady_clock::now();
            return run.out.find('\n') != std::string::npos;
        });
        EXPECT_EQ(poll.status, 0) << poll.err;
        EXPECT_NE(poll.out.find('\n'), std::string::npos);
        EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(1));
    }
    // Interrupted after its third frame, the self-test still restores the coil it switched.
    const ProgramRun selftest =
        RunCli({"--serial", sim.PtyPath(), "--address", "7", "--verbose", "selftest"},
               After("发送: 07 05 00 00 FF 00"));
    EXPECT_EQ(selftest.status, 1);
    EXPECT_NE(selftest.err.find("self-test interrupted"), std::string::npos) << selftest.err;
    EXPECT_NE(selftest.out.find("cancelled, 0 faults, coils restored"), std::string::npos)
        << selftest.out;
    EXPECT_EQ(sim.Coils(), 0x80000011u);

    const ProgramRun poll = RunCli(At({"--json", "--verbose", "poll"}), After("接收: "));
    EXPECT_EQ(poll.status, 0) << poll.err;
    EXPECT_EQ(SchemaFault("poll", poll.out), "");
    EXPECT_NE(poll.out.find(R"("interrupted":true)"), std::string::npos) << poll.out;
}

} // namespace
