// vornak-cli as scripts meet it: what each command prints, its exit status, the message of
// each bad command line, and a clean end on Ctrl-C.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

#include "comm/Deadline.h"
#include "comm/posix/ExclusivePort.h"
#include "support/SimProcess.h"

namespace {

using nlohmann::json;

// vornak-cli run to its end (or sent SIGINT once `interruptAfter` shows on standard error).
struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun RunCli(const std::vector<std::string>& args, const std::string& interruptAfter = "") {
    int outPipe[2], errPipe[2];
    CliRun run;
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> argv{const_cast<char*>(VORNAK_CLI_PATH)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    bool interrupted = false;
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
        if (!interrupted && !interruptAfter.empty() &&
            run.err.find(interruptAfter) != std::string::npos) {
            interrupted = ::kill(pid, SIGINT) == 0;
        }
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return run;
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
    SimProcess sim{VORNAK_SIM_PATH};
    std::string tcp, udp;
};

TEST_F(Cli, BadCommandLinesExitWithTwoAndSayWhatToFix) {
    const int held = OpenExclusivePort(sim.PtyPath());
    ASSERT_GE(held, 0);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"read", "coils"}, "Exactly 1 option from [--tcp,--udp,--serial] is required"},
        {{"--tcp", tcp, "--udp", udp, "read", "coils"}, "2 were given"},
        {{"--tcp", "127.0.0.1", "read", "coils"}, "--tcp: must be IPv4:PORT"},
        {{"--tcp", tcp, "--frob", "read", "coils"}, "not expected: --frob"},
        {{"--tcp", tcp, "--baud", "9600", "read", "coils"}, "--baud requires --serial"},
        {{"--tcp", tcp, "--address", "300", "read", "coils"}, "--address: Value 300 not in range"},
        {{"--tcp", tcp, "read", "coils", "30", "5"}, "START + COUNT must not exceed 32"},
        {{"--tcp", tcp, "--protocol", "55", "read", "inputs"}, "0x55 protocol carries no inputs"},
        {{"--tcp", tcp, "write", "32", "on"}, "coil: Value 32 not in range 0 to 31"},
        {{"--tcp", tcp, "poll", "--interval", "50"}, "--interval: Value 50 not in range"},
        {{"--tcp", tcp, "scan", "--bauds"}, "only a serial port has baud rates"},
        {{"--serial", "/dev/vornak-no-such-tty", "read", "coils"}, "does not exist"},
        {{"--serial", sim.PtyPath(), "read", "coils"},
         "is busy: held by " + std::to_string(::getpid())},
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
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;     // a line that must be printed, or JSON that must be equal
        std::string errPart; // must appear on standard error
    };
    const Case cases[] = {
        // clang-format off
        {{"--tcp", tcp, "--address", "7", "read", "coils", "0", "5"}, 0,
         "coils: 0:ON, 1:OFF, 2:OFF, 3:OFF, 4:ON\n", ""},
        {{"--udp", udp, "--address", "7", "--json", "read", "inputs", "2", "5"}, 0,
         R"({"inputs":[0,0,1,0,0],"start":2})", ""},
        {{"--tcp", tcp, "--address", "7", "--protocol", "tcp", "--verbose", "write", "3", "on"}, 0,
         "coil 3: ON\n", "发送: 00 01 00 00 00 06 07 05 00 03 FF 00 \n接收: "},
        // The relay protocol toggles: asked for ON twice, coil 5 is ON, not back OFF.
        {{"--udp", udp, "--address", "7", "--protocol", "55", "--json", "write", "5", "on"}, 0,
         R"({"coil":5,"on":true})", ""},
        {{"--udp", udp, "--address", "7", "--protocol", "55", "--json", "write", "5", "on"}, 0,
         R"({"coil":5,"on":true})", ""},
        {{"--tcp", tcp, "--address", "7", "--json", "poll", "--count", "2", "--interval", "100"}, 0,
         "", ""},
        {{"--tcp", tcp, "--address", "9", "--timeout", "50", "read", "coils"}, 1, "",
         "vornak-cli: read failed: 接收超时\n"},
        {{"--tcp", "127.0.0.1:1", "read", "coils"}, 1, "", "cannot connect to 127.0.0.1:1"},
        {{"--udp", udp, "--json", "scan", "--from", "5", "--to", "9", "--first"}, 0,
         R"({"found":[{"address":7,"protocol":"rtu"}]})", ""},
        {{"--tcp", tcp, "--protocol", "55", "scan", "--to", "6"}, 1, "0 found\n", ""},
        {{"--serial", sim.PtyPath(), "scan", "--bauds", "--protocol", "rtu", "--from", "7", "--to",
          "7", "--first"}, 0, "found: address 7, protocol rtu, 9600 baud, parity none\n", ""},
        // clang-format on
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args.back() << ": " << run.err;
        if (!c.out.empty() && c.out[0] == '{')
            EXPECT_EQ(json::parse(run.out, nullptr, false), json::parse(c.out)) << run.out;
        else
            EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.errPart), std::string::npos) << run.err;
    }
    EXPECT_EQ(Coils(), 0x80000039u); // 3 and 5 switched on
}

TEST_F(Cli, SelfTestAndStatisticsInJson) {
    const CliRun run =
        RunCli({"--udp", udp, "--address", "7", "--json", "--stats", "selftest", "--loopback"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    const json report = json::parse(first, nullptr, false);
    EXPECT_EQ(report["passed"], true) << first;
    ASSERT_EQ(report["coils"].size(), 32u);
    EXPECT_EQ(report["inputs"][31], json::parse(R"({"input":31,"ok":true,"reason":""})"));
    // Two reads at the start, 6 transactions a coil, the writes that restore coils 0, 4 and 31
    // (ON at the start, left OFF by their test), a final read: 198, every one answered.
    const json stats = json::parse(second, nullptr, false)["statistics"];
    EXPECT_EQ(stats["transactions"], 198) << second;
    EXPECT_EQ(stats["outcomes"]["ok"], 198);
    EXPECT_EQ(stats["round_trip_ms"]["samples"], 198);
    EXPECT_EQ(Coils(), 0x80000011u);

    // Coil 4 (ON) shorted to coil 5 (OFF): restoring coil 4 leaves coil 5 ON, said plainly.
    ASSERT_TRUE(sim.Command("short 4 5"));
    const CliRun shorted = RunCli({"--tcp", tcp, "--address", "7", "selftest"});
    EXPECT_EQ(shorted.status, 1);
    EXPECT_NE(shorted.out.find("coils NOT restored: before 80000011, now 80000031; coil 5 ON\n"),
              std::string::npos)
        << shorted.out;
}

TEST_F(Cli, CtrlCEndsPollAndSelfTestCleanly) {
    // Interrupted after its third frame, the self-test still restores the coil it switched.
    const CliRun selftest =
        RunCli({"--serial", sim.PtyPath(), "--address", "7", "--verbose", "selftest"},
               "发送: 07 05 00 00 FF 00");
    EXPECT_EQ(selftest.status, 1);
    EXPECT_NE(selftest.err.find("self-test interrupted"), std::string::npos) << selftest.err;
    EXPECT_NE(selftest.out.find("cancelled, 0 faults, coils restored"), std::string::npos)
        << selftest.out;
    EXPECT_EQ(Coils(), 0x80000011u);

    const CliRun poll = RunCli({"--tcp", tcp, "--address", "7", "--verbose", "poll"}, "接收: ");
    EXPECT_EQ(poll.status, 0) << poll.err;
    EXPECT_EQ(poll.out.rfind("coils: 10001000000000000000000000000001  inputs: ", 0), 0u)
        << poll.out;
}

} // namespace
