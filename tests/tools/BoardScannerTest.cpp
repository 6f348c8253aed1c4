// The board search against the simulator at address 7 over each transport, within the
// time that it promises.
#include <gtest/gtest.h>

#include <chrono>

#include "sim/SimDeviceRig.h"
#include "tools/BoardScanner.h"

namespace {

struct ScanCase {
    const char* name;
    std::vector<std::string> simArgs;
    CommType transport;
    ScanPlan plan;
    std::vector<std::string> expected; // "protocol@address[/baud/parity]" in the order found
    size_t boards;                     // what they group into: address and line setting
};

std::string Describe(const ScanHit& hit) {
    std::string text = NameOf(hit.protocol) + "@" + std::to_string(hit.address);
    if (hit.serial)
        text += "/" + std::to_string(hit.baudRate) + "/" + std::to_string(hit.parity);
    return text;
}

ScanPlan Plan(int32_t from, int32_t to, std::vector<uint32_t> bauds = {}, int32_t waitMs = 0,
              bool first = false) {
    ScanPlan plan;
    plan.fromAddress = from;
    plan.toAddress = to;
    plan.baudRates = std::move(bauds);
    plan.waitMs = waitMs;
    plan.stopAtFirst = first;
    return plan;
}

class ScanOnSim : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanOnSim, FindsTheBoardInTime) {
    const ScanCase& c = GetParam();
    SimProcess sim{VORNAK_SIM_PATH};
    ASSERT_TRUE(StartOnEveryLink(sim, {"--address", "7"}, c.simArgs)) << sim.ErrorOutput();
    Device device;
    ConfigureForSim(device, sim, c.transport, ProtocolType::ModbusRtu, 100, 60000);
    const DeviceConfig base = device.GetConfig();

    BoardScanner scanner(device, base, c.plan);
    std::vector<std::string> found;
    const auto start = std::chrono::steady_clock::now();
    int64_t lastDone = 0;
    scanner.Run(
        nullptr, [&](int64_t done, int64_t) { lastDone = done; },
        [&](const ScanHit& hit) { found.push_back(Describe(hit)); });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(scanner.Error(), "");
    EXPECT_EQ(found, c.expected);
    ASSERT_EQ(scanner.Hits().size(), c.expected.size());
    // One board per address and line setting, with every protocol it answered there.
    const std::vector<ScanBoard> boards = GroupByBoard(scanner.Hits());
    ASSERT_EQ(boards.size(), c.boards);
    for (const ScanBoard& board : boards)
        EXPECT_EQ(board.protocols.size(), c.expected.size() / c.boards);
    EXPECT_EQ(lastDone, scanner.ProbesDone());
    // Loaded machines get some slack, but not the time of a second search.
    EXPECT_LT(seconds, BoardScanner::WorstCaseSeconds(c.plan, c.transport) * 1.5 + 1.0);
    // The device is handed back as it was given.
    EXPECT_EQ(device.GetState(), DeviceState::Disconnected);
    EXPECT_EQ(device.GetConfig().slaveAddress, base.slaveAddress);
    EXPECT_EQ(device.GetConfig().receiveTimeout, base.receiveTimeout);
}

INSTANTIATE_TEST_SUITE_P(
    Transports, ScanOnSim,
    ::testing::Values(
        // clang-format off
        ScanCase{"Tcp", {}, CommType::Tcp, Plan(1, 12), {"Rtu@7", "Mbap@7", "Relay@7"}, 1},
        ScanCase{"Udp", {}, CommType::Udp, Plan(5, 9), {"Rtu@7", "Mbap@7", "Relay@7"}, 1},
        // The pty's board hears only a port set to 19200 baud: a pty keeps no parity, so
        // the board answers at each.
        ScanCase{"PtyAt19200", {"--line", "19200"}, CommType::Serial,
                 Plan(6, 8, {9600, 19200, 38400}, 100),
                 {"Rtu@7/19200/0", "Mbap@7/19200/0", "Relay@7/19200/0", "Rtu@7/19200/2",
                  "Mbap@7/19200/2", "Relay@7/19200/2", "Rtu@7/19200/1", "Mbap@7/19200/1",
                  "Relay@7/19200/1"}, 3},
        ScanCase{"PtyFirst", {}, CommType::Serial, Plan(1, 10, {9600, 19200}, 100, true),
                 {"Rtu@7/9600/0"}, 1}),
    // clang-format on
    [](const ::testing::TestParamInfo<ScanCase>& info) { return info.param.name; });

} // namespace
