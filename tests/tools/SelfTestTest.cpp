// The self-test against the simulated board: good boards pass, each kind of fault is found
// and named, and the coils end as they began whenever the board still answers.
#include <gtest/gtest.h>

#include <map>

#include "sim/SimDeviceRig.h"
#include "tools/SelfTest.h"

namespace {

struct SelfTestCase {
    const char* name;
    std::vector<std::string> simArgs;
    CommType transport;
    ProtocolType protocol;
    bool loopback;
    // After this many steps, "cancel" cancels the test; anything else goes to the simulator.
    int32_t atStep;
    std::string atStepCommand;
    SelfTestEnd end;
    std::map<int, std::string> coilReasons, inputReasons; // the points that fail
};

class SelfTestOnSim : public ::testing::TestWithParam<SelfTestCase> {};

TEST_P(SelfTestOnSim, FindsAndNamesFaultsAndRestoresTheCoils) {
    const SelfTestCase& c = GetParam();
    SimProcess sim{VORNAK_SIM_PATH};
    ASSERT_TRUE(StartOnEveryLink(sim, {"--coils", "80000011"}, c.simArgs)) << sim.ErrorOutput();
    Device device;
    ConfigureForSim(device, sim, c.transport, c.protocol, 500, 60000);
    ASSERT_TRUE(device.Connect());

    SelfTest test(device, c.loopback);
    const SelfTestReport report = test.Run(nullptr, [&](int32_t done, int32_t total) {
        EXPECT_LE(done, total);
        if (done != c.atStep)
            return;
        if (c.atStepCommand == "cancel")
            test.Cancel();
        else
            EXPECT_TRUE(sim.Command(c.atStepCommand));
    });

    EXPECT_EQ(report.end, c.end);
    EXPECT_TRUE(report.restored);
    EXPECT_EQ(report.Passed(),
              c.end == SelfTestEnd::Finished && c.coilReasons.empty() && c.inputReasons.empty());
    ASSERT_EQ(report.coils.size(), 32u);
    const bool inputsTested = c.loopback && c.protocol != ProtocolType::Protocol55;
    ASSERT_EQ(report.inputs.size(), inputsTested ? 32u : 0u);
    for (int i = 0; i < 32; ++i) {
        for (const auto& [verdicts, reasons] : {std::pair(&report.coils, &c.coilReasons),
                                                std::pair(&report.inputs, &c.inputReasons)}) {
            if (verdicts->empty())
                continue;
            const auto named = reasons->find(i);
            const std::string reason = DescribeVerdict((*verdicts)[i]);
            if (named != reasons->end()) {
                EXPECT_EQ(reason, named->second) << "point " << i;
            } else if (c.end == SelfTestEnd::Finished) {
                EXPECT_EQ(reason, "") << "point " << i;
            }
        }
    }
    EXPECT_EQ(sim.Coils(), 0x80000011u); // as they began
}

const std::string kSilent = "silent 700"; // longer than one answer's wait, shorter than two
const auto kTcp = CommType::Tcp;
const auto kRtu = ProtocolType::ModbusRtu;
const auto kFinished = SelfTestEnd::Finished;

const SelfTestCase kCases[] = {
    // clang-format off
    {"GoodBoard", {}, kTcp, kRtu, false, -1, "", kFinished, {}, {}},
    {"GoodBoardLoopback", {"--inputs", "mirror"}, CommType::Udp, ProtocolType::ModbusTcp, true,
     -1, "", kFinished, {}, {}},
    {"FaultyBoard", {"--stuck", "5", "--short", "8,9", "--dead-input", "4", "--inputs", "mirror"},
     kTcp, kRtu, true, -1, "", kFinished,
     {{5, "did not switch on"}, {8, "coil 9 moved too"}, {9, "coil 8 moved too"}},
     {{4, "did not follow its coil"}}},
    {"Relay55OnThePty", {}, CommType::Serial, ProtocolType::Protocol55, true, -1, "", kFinished,
     {}, {}},
    // Silent while coil 10 is switched on (steps: the start read, then 4 per coil): the
    // silence blames no coil.
    {"SilentHalfWay", {}, kTcp, kRtu, false, 1 + 4 * 10, kSilent, SelfTestEnd::BoardSilent,
     {{10, "not tested"}, {11, "not tested"}}, {}},
    // Cancelled between coil 3's two switches: coil 3 is left ON, so it is restored.
    {"Cancelled", {"--inputs", "mirror"}, kTcp, kRtu, true, 2 + 6 * 3 + 3, "cancel",
     SelfTestEnd::Cancelled, {{3, "not tested"}}, {{3, "not tested"}}},
    // clang-format on
};

INSTANTIATE_TEST_SUITE_P(Boards, SelfTestOnSim, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
