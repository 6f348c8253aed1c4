// The tool's Device against the simulator, for every transport and protocol: the two
// sides were written apart, so each checks the other. Connect, read everything, switch
// coils, and the silence rule: a silent board goes Offline, an answering one comes back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>

#include "SimDeviceRig.h"
#include "support/RecordingCallback.h"

namespace {

using Clock = std::chrono::steady_clock;
using Combination = std::tuple<CommType, ProtocolType>;

constexpr uint32_t kInitialCoils = 0x8000000F;
constexpr uint32_t kInitialInputs = 0x000000A5;

bool Contains(const std::vector<std::string> &lines, const std::string &line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class SimDevice : public ::testing::TestWithParam<Combination> {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Start({"--tcp", "0", "--udp", "0", "--pty", "--quiet", "--coils",
                               "8000000F", "--inputs", "A5"}))
            << sim.ErrorOutput();
        DeviceConfig config = SimDeviceConfig(sim, Transport(), Protocol());
        config.heartbeatTimeout = 500;
        device.SetCallback(&events);
        ApplyConfig(device, config);
        ASSERT_TRUE(device.Connect());
        ASSERT_EQ(device.GetState(), DeviceState::Connected);
    }

    CommType Transport() const { return std::get<0>(GetParam()); }
    ProtocolType Protocol() const { return std::get<1>(GetParam()); }

    uint32_t SimCoils() {
        uint32_t coils = 0;
        uint32_t inputs = 0;
        EXPECT_TRUE(sim.ReadStates(coils, inputs));
        return coils;
    }

    SimProcess sim{VORNAK_SIM_PATH};
    RecordingCallback events; // outlives the device, which reports until its end
    Device device;
};

} // namespace

TEST_P(SimDevice, ReadsEverythingAndSwitchesCoils) {
    OperationResult coils = device.ReadCoils(0, 32);
    ASSERT_TRUE(coils.success) << coils.code << " " << coils.message;
    EXPECT_EQ(CachedCoilWord(device), kInitialCoils);
    OperationResult inputs = device.ReadInputs(0, 32);
    ASSERT_TRUE(inputs.success) << inputs.code << " " << inputs.message;
    // The relay protocol carries no inputs: they stay OFF in the tool.
    EXPECT_EQ(CachedInputWord(device),
              Protocol() == ProtocolType::Protocol55 ? 0u : kInitialInputs);

    // Coil 5 off -> on, coil 0 on -> off (the relay protocol toggles, which is the same).
    OperationResult on = device.WriteCoil(5, 1);
    ASSERT_TRUE(on.success) << on.code << " " << on.message;
    OperationResult off = device.WriteCoil(0, 0);
    ASSERT_TRUE(off.success) << off.code << " " << off.message;
    const uint32_t expected = (kInitialCoils | 1u << 5) & ~1u;
    EXPECT_EQ(SimCoils(), expected);
    EXPECT_EQ(CachedCoilWord(device), expected);

    // A change made on the board side shows after the next read.
    ASSERT_TRUE(sim.Command("coil 20 1"));
    ASSERT_TRUE(device.ReadCoils(0, 32).success);
    EXPECT_EQ(CachedCoilWord(device), expected | 1u << 20);
}

TEST_P(SimDevice, SilentBoardGoesOfflineAndComesBackWhenItAnswers) {
    const Clock::time_point lastExchange = Clock::now();
    ASSERT_TRUE(device.ReadCoils(0, 32).success);
    ASSERT_TRUE(sim.Command("silent"));
    events.Take();

    // The window's heartbeat timer, faster: check until the device is declared Offline.
    while (device.GetState() != DeviceState::Offline &&
           Clock::now() - lastExchange < std::chrono::seconds(10)) {
        device.CheckHeartbeat();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(device.GetState(), DeviceState::Offline);
    EXPECT_GT(Clock::now() - lastExchange, std::chrono::milliseconds(500))
        << "Offline before the heartbeat time-out had passed";
    // A poll that meets silence keeps it Offline, and no second timeout is reported.
    EXPECT_FALSE(device.ReadCoils(0, 32).success);
    device.CheckHeartbeat();
    EXPECT_EQ(device.GetState(), DeviceState::Offline);
    std::vector<std::string> silent = events.Take();
    EXPECT_EQ(std::count(silent.begin(), silent.end(), "heartbeat"), 1);
    EXPECT_TRUE(Contains(silent, "state 2->4"));

    ASSERT_TRUE(sim.Command("resume"));
    OperationResult back = device.ReadCoils(0, 32);
    EXPECT_TRUE(back.success) << back.code << " " << back.message;
    EXPECT_EQ(device.GetState(), DeviceState::Connected);
    std::vector<std::string> recovered = events.Take();
    EXPECT_TRUE(Contains(recovered, "state 4->2"));
    EXPECT_TRUE(Contains(recovered, "log R 收到数据，设备自动恢复连接"));
    EXPECT_EQ(CachedCoilWord(device), kInitialCoils);
}

INSTANTIATE_TEST_SUITE_P(
    TransportsAndProtocols, SimDevice,
    ::testing::Combine(::testing::Values(CommType::Tcp, CommType::Udp, CommType::Serial),
                       ::testing::Values(ProtocolType::ModbusRtu, ProtocolType::ModbusTcp,
                                         ProtocolType::Protocol55)),
    [](const ::testing::TestParamInfo<Combination> &info) {
        return std::string(CommName(std::get<0>(info.param))) +
               ProtocolName(std::get<1>(info.param));
    });
