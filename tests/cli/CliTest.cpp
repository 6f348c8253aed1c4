// vornak-cli as scripts meet it: what each command prints, its exit status, the message of
// each bad command line, and a clean end on Ctrl-C.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

#include "comm/Deadline.h"
#include "comm/posix/ExclusivePort.h"
#include "support/SimProcess.h"

namespace {

using nlohmann::json;

// A program run to its end: vornak-cli, or the schema check with `input` on its standard
// input. `when` is called with the output so far after each read; it may act on the running
// program (send SIGINT, change the simulated board) and returns true to close our end of its
// standard output, as a reader such as `head -1` does.
struct CliRun {
    int status = -1;
    std::string out, err;
    double msAfterClose = -1; // from closing its standard output to its end
};
using Trigger = std::function<bool(pid_t, const CliRun&)>;

CliRun RunProgram(std::vector<std::string> argv, const std::string& input = "",
                  const Trigger& when = {}) {
    int inPipe[2], outPipe[2], errPipe[2];
    CliRun run;
    if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0 ||
        ::pipe2(errPipe, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (!input.empty())
        EXPECT_EQ(::write(inPipe[1], input.data(), input.size()), ssize_t(input.size()));
    ::close(inPipe[1]);
    std::chrono::steady_clock::time_point closed;
    const Deadline deadline(60000);
    for (pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
         (fds[0].fd >= 0 || fds[1].fd >= 0) && !deadline.Expired();) {
        ::poll(fds, 2, deadline.RemainingMs());
        for (int i = 0; i < 2; ++i) {
            char buffer[4096];
            const ssize_t n = fds[i].revents != 0 ? ::read(fds[i].fd, buffer, sizeof buffer) : -1;
            if (n > 0)
                (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
            else if (fds[i].revents != 0)
                ::close(std::exchange(fds[i].fd, -1));
        }
        if (when && fds[0].fd >= 0 && when(pid, run)) {
            ::close(std::exchange(fds[0].fd, -1));
            closed = std::chrono::steady_clock::now();
        }
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    if (closed.time_since_epoch().count() != 0)
        run.msAfterClose =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - closed)
                .count();
    return run;
}

CliRun RunCli(std::vector<std::string> args, const Trigger& when = {}) {
    args.insert(args.begin(), VORNAK_CLI_PATH);
    return RunProgram(args, "", when);
}

// Sends SIGINT once `text` shows on standard error.
Trigger InterruptAfter(const std::string& text) {
    return [text, sent = false](pid_t pid, const CliRun& run) mutable {
        if (!sent && run.err.find(text) != std::string::npos)
            sent = ::kill(pid, SIGINT) == 0;
        return false;
    };
}

// "" when `out` fits the command's schema in docs/schema, otherwise the fault.
std::string SchemaFault(const std::string& command, const std::string& out) {
    const bool lines = command == "poll" || command == "wait";
    const CliRun check =
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
    uint32_t Coils() {
        uint32_t coils = 0, inputs = 0;
        EXPECT_TRUE(sim.ReadStates(coils, inputs));
        return coils;
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
            const CliRun run = RunCli(c.args);
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
            const auto json = std::find(c.args.begin(), c.args.end(), "--json");
            for (auto word = json; json != c.args.end() && word != c.args.end(); ++word) {
                for (const char* command : {"read", "write", "poll", "wait", "selftest", "scan"}) {
                    if (*word == command) {
                        EXPECT_EQ(SchemaFault(command, run.out), "") << line;
                        word = c.args.end() - 1;
                        break;
                    }
                }
            }
        }
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
        const CliRun run = RunCli(args);
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
    EXPECT_EQ(Coils(), 0x80000039u); // 3 and 5 switched on
}

TEST_F(Cli, JsonIsOneDocumentThatFitsItsSchema) {
    // Coil 4 (ON) shorted to coil 5 (OFF): restoring coil 4 leaves coil 5 ON, said plainly.
    ASSERT_TRUE(sim.Command("short 4 5"));
    const CliRun shorted = RunCli({"--tcp", tcp, "--address", "7", "selftest"});
    EXPECT_EQ(shorted.status, 1);
    EXPECT_NE(shorted.out.find("coils NOT restored: before 80000011, now 80000031; coil 5 ON\n"),
              std::string::npos)
        << shorted.out;
    ASSERT_TRUE(sim.Command("clear") && sim.Command("coil 5 0") && sim.Command("stuck 9"));
    const std::vector<std::string> at{"--tcp", tcp, "--address", "7", "--json", "--stats"};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), at.begin(), at.end());
        return args;
    };
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
    const CliRun run = RunCli(with({"selftest"}));
    const json report = json::parse(run.out, nullptr, false);
    EXPECT_EQ(report["end"], "finished");
    EXPECT_EQ(report["coils"][9], json::parse(R"({"coil":9,"ok":false,"fault":"did_not_switch_on",
                                                   "text":"did not switch on"})"));
    EXPECT_EQ(report["statistics"]["transactions"], 134) << run.out;
    EXPECT_EQ(report["statistics"]["outcomes"]["ok"], 134);
}

TEST_F(Cli, WritesAreReadBackAndWaitSeesTheBoardChange) {
    ASSERT_TRUE(sim.Command("stuck 9"));
    const std::vector<std::string> at{"--tcp", tcp, "--address", "7"};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), at.begin(), at.end());
        return args;
    };
    Check({
        {with({"write", "9", "on"}), 1, "coil 9: OFF\n",
         "=vornak-cli: coil 9 did not switch on (not_switched)\n"},
        // Trusting the write's echo shows a state the board does not have: only on request.
        {with({"write", "9", "on", "--no-verify"}), 0, "coil 9: ON\n", "="},
        {with({"write", "--mask", "0x0000020F"}), 1, "coils: 11110000000000000000000000000000\n",
         "coil 9 did not switch on"},
        {with({"write", "--all", "on"}), 1, "*", "coil 9 did not switch on"},
        {with({"write", "2", "off", "31", "off", "3", "off"}), 0,
         "coil 2: OFF\ncoil 31: OFF\ncoil 3: OFF\n", "="},
        {with({"wait", "input", "2", "on", "--timeout", "0.3", "--interval", "100"}), 1, "",
         "vornak-cli: input 2 not ON within"},
    });
    EXPECT_EQ(Coils(), 0x7FFFFDF3u);
    bool switched = false;
    const CliRun wait = RunCli(with({"--verbose", "wait", "input", "2", "on", "--interval", "100"}),
                               [&](pid_t, const CliRun& run) {
                                   if (!switched && run.err.find("接收: ") != std::string::npos)
                                       switched = sim.Command("coil 2 1");
                                   return false;
                               });
    EXPECT_EQ(wait.status, 0) << wait.err;
    EXPECT_EQ(wait.out.rfind("input 2: ON after ", 0), 0u) << wait.out;
}

TEST_F(Cli, AClosedReaderAndCtrlCEndCleanly) {
    // `poll | head -1`: the reader goes after one line; poll ends at once, successfully.
    for (const char* format : {"--json", "--verbose"}) {
        const CliRun poll =
            RunCli({"--tcp", tcp, "--address", "7", format, "poll"}, [](pid_t, const CliRun& run) {
                return run.out.find('\n') != std::string::npos;
            });
        EXPECT_EQ(poll.status, 0) << poll.err;
        EXPECT_GE(poll.msAfterClose, 0);
        EXPECT_LT(poll.msAfterClose, 1000);
    }
    // Interrupted after its third frame, the self-test still restores the coil it switched.
    const CliRun selftest =
        RunCli({"--serial", sim.PtyPath(), "--address", "7", "--verbose", "selftest"},
               InterruptAfter("发送: 07 05 00 00 FF 00"));
    EXPECT_EQ(selftest.status, 1);
    EXPECT_NE(selftest.err.find("self-test interrupted"), std::string::npos) << selftest.err;
    EXPECT_NE(selftest.out.find("cancelled, 0 faults, coils restored"), std::string::npos)
        << selftest.out;
    EXPECT_EQ(Coils(), 0x80000011u);

    const CliRun poll = RunCli({"--tcp", tcp, "--address", "7", "--json", "--verbose", "poll"},
                               InterruptAfter("接收: "));
    EXPECT_EQ(poll.status, 0) << poll.err;
    EXPECT_EQ(SchemaFault("poll", poll.out), "");
    EXPECT_NE(poll.out.find(R"("interrupted":true)"), std::string::npos) << poll.out;
}

} // namespace
