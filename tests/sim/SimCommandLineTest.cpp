// The simulator as a program: its options, its refusals, its commands and its end.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <bitset>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "WireClient.h"
#include "support/SimProcess.h"

namespace {

std::string TempPath(const std::string &name) {
    return "/tmp/vornak-sim-test-" + std::to_string(::getpid()) + "-" + name;
}

bool IsSymlink(const std::string &path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// A loopback socket that holds a port, as another program would.
struct HeldPort {
    explicit HeldPort(int type) {
        fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        if (type == SOCK_STREAM)
            ::listen(fd, 1);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~HeldPort() { ::close(fd); }
    int fd = -1;
    uint16_t port = 0;
};

} // namespace

TEST(SimCommandLine, RefusesBadOptionsWithStatus2AndAReason) {
    struct Case {
        std::vector<std::string> arguments;
        const char *mentioned;
    };
    const Case cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"--tcp"}, "--tcp"},
        {{"--tcp", "70000"}, "70000"},
        {{"--udp", "-1"}, "-1"},
        {{"--address", "0"}, "--address"},
        {{"--address", "256"}, "--address"},
        {{"--protocol", "modbus"}, "modbus"},
        {{"--coils", "123456789"}, "123456789"},
        {{"--inputs", "sideways"}, "sideways"},
        {{"--walk-ms", "0"}, "--walk-ms"},
        {{"--drop", "101"}, "drop"},
        {{"--delay=100,150"}, "delay"},
        {{"--split=x"}, "split"},
        {{"--exception", "300"}, "exception"},
        {{"--quiet=yes"}, "--quiet"},
        {{"stray"}, "stray"},
    };
    for (const Case &c : cases) {
        SimProcess sim(VORNAK_SIM_PATH);
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back("--tcp=0");
        EXPECT_FALSE(sim.Start(arguments)) << c.mentioned;
        EXPECT_EQ(sim.ExitStatus(), 2) << c.mentioned;
        EXPECT_NE(sim.ErrorOutput().find(c.mentioned), std::string::npos)
            << c.mentioned << ": " << sim.ErrorOutput();
    }
}

TEST(SimCommandLine, FailsWithAReasonWhenItCannotListen) {
    HeldPort tcp(SOCK_STREAM);
    HeldPort udp(SOCK_DGRAM);
    struct Case {
        std::vector<std::string> arguments;
        std::string mentioned;
    };
    const std::string file = TempPath("plain-file");
    std::ofstream(file) << "not a link";
    const Case cases[] = {
        {{"--tcp", std::to_string(tcp.port)}, "127.0.0.1:" + std::to_string(tcp.port)},
        {{"--udp", std::to_string(udp.port)}, "127.0.0.1:" + std::to_string(udp.port)},
        {{"--tcp", "0", "--bind", "localhost"}, "localhost"},
        {{"--link", file}, file},
    };
    for (const Case &c : cases) {
        SimProcess sim(VORNAK_SIM_PATH);
        EXPECT_FALSE(sim.Start(c.arguments)) << c.mentioned;
        EXPECT_EQ(sim.ExitStatus(), 1) << c.mentioned;
        EXPECT_NE(sim.ErrorOutput().find(c.mentioned), std::string::npos)
            << c.mentioned << ": " << sim.ErrorOutput();
    }
    std::ifstream kept(file);
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "not a link") << "the simulator replaced a file that was not its link";
    ::unlink(file.c_str());
}

TEST(SimCommandLine, KeepsTheLinkWhileRunningAndRemovesItOnEachStopSignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        const std::string link = TempPath("tty");
        // A link left behind by a simulator that was killed is replaced.
        ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);
        SimProcess sim(VORNAK_SIM_PATH);
        ASSERT_TRUE(sim.Start({"--link", link, "--quiet"})) << sim.ErrorOutput();
        EXPECT_EQ(sim.LinkPath(), link);
        char target[256] = {};
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(sim.PtyPath(), target);

        WireClient serial;
        ASSERT_TRUE(serial.OpenSerial(link));
        EXPECT_EQ(serial.Exchange({0x55, 0x01, 0x10, 0, 0, 0, 0, 0x66}, 8).size(), 8u);

        ASSERT_EQ(::kill(sim.Pid(), signal), 0);
        EXPECT_EQ(sim.WaitForExit(5000), 0) << "signal " << signal;
        EXPECT_FALSE(IsSymlink(link)) << "signal " << signal;
        ::unlink(link.c_str());
    }
}

TEST(SimCommandLine, CommandsSetAndReportTheStates) {
    SimProcess sim(VORNAK_SIM_PATH);
    ASSERT_TRUE(sim.Start({"--tcp", "0", "--coils", "0x00000001", "--inputs", "0x80000000"}))
        << sim.ErrorOutput();
    std::string reply;
    ASSERT_TRUE(sim.Command("state", &reply));
    EXPECT_EQ(reply, "STATE coils=10000000000000000000000000000000 "
                     "inputs=00000000000000000000000000000001");

    EXPECT_TRUE(sim.Command("coil 31 1"));
    EXPECT_TRUE(sim.Command("coil 0 0"));
    EXPECT_TRUE(sim.Command("input 4 1"));
    for (const char *bad :
         {"coil 32 1", "coil 1 2", "input x 1", "drop", "silent -5", "seed many", "jump"}) {
        EXPECT_FALSE(sim.Command(bad, &reply)) << bad;
        EXPECT_EQ(reply.rfind("ERR ", 0), 0u) << bad << ": " << reply;
    }
    uint32_t coils = 0;
    uint32_t inputs = 0;
    ASSERT_TRUE(sim.ReadStates(coils, inputs));
    EXPECT_EQ(coils, 0x80000000u);
    EXPECT_EQ(inputs, 0x80000010u);

    // Without standard input (started in the background) it keeps serving.
    sim.CloseInput();
    WireClient client;
    ASSERT_TRUE(client.OpenTcp(sim.TcpPort()));
    EXPECT_EQ(client.Exchange({0x01, 0x02, 0x00, 0x00, 0x00, 0x20, 0x79, 0xD2}, 9),
              (WireClient::Bytes{0x01, 0x02, 0x04, 0x10, 0x00, 0x00, 0x80, 0xFE, 0x82}));
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimCommandLine, MovingInputsWalkOrMirrorTheCoils) {
    SimProcess mirror(VORNAK_SIM_PATH);
    ASSERT_TRUE(mirror.Start({"--tcp", "0", "--quiet", "--inputs", "mirror", "--coils", "5"}));
    WireClient client;
    ASSERT_TRUE(client.OpenTcp(mirror.TcpPort()));
    // Switch coil 3 on over the wire: input 3 follows.
    ASSERT_EQ(client.Exchange({0x01, 0x05, 0x00, 0x03, 0xFF, 0x00, 0x7C, 0x3A}, 8).size(), 8u);
    uint32_t coils = 0;
    uint32_t inputs = 0;
    ASSERT_TRUE(mirror.ReadStates(coils, inputs));
    EXPECT_EQ(coils, 0x0Du);
    EXPECT_EQ(inputs, 0x0Du);
    EXPECT_FALSE(mirror.Command("input 1 1"));

    SimProcess walk(VORNAK_SIM_PATH);
    ASSERT_TRUE(walk.Start({"--tcp", "0", "--quiet", "--inputs", "walk", "--walk-ms", "20"}));
    std::set<uint32_t> seen;
    for (int i = 0; i < 2000 && seen.size() < 3; ++i) {
        ASSERT_TRUE(walk.ReadStates(coils, inputs));
        EXPECT_EQ(std::bitset<32>(inputs).count(), 1u) << std::hex << inputs;
        seen.insert(inputs);
    }
    EXPECT_GE(seen.size(), 3u) << "the lit input did not move";
}
