// The tool's Device against the simulator over every transport in every protocol: the two
// were written apart, so each checks the other.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "SimDeviceRig.h"
#include "support/RecordingCallback.h"

using ::testing::AllOf;
using ::testing::Contains;
using Combination = std::tuple<CommType, ProtocolType>;
class SimDevice : public ::testing::TestWithParam<Combination> {};

TEST_P(SimDevice, ReadsSwitchesAndFollowsTheHeartbeat) {
    const auto [transport, protocol] = GetParam();
    // The serial port is the simulator's link, which replaces one left behind.
    const std::string link = ::testing::TempDir() + "vornak-sim-" + std::to_string(::getpid());
    ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);
    SimProcess sim{VORNAK_SIM_PATH};
    ASSERT_TRUE(sim.Start({"--tcp", "0", "--udp", "0", "--link", link, "--quiet", "--coils",
                           "8000000F", "--inputs", "A5", "--address", "7"}))
        << sim.ErrorOutput();
    RecordingCallback events; // outlives the device, which reports until its end
    Device device;
    device.SetCallback(&events);
    ConfigureForSim(device, sim, transport, protocol, 500, 500);
    DeviceConfig config = device.GetConfig(); // a board at another address than the default
    config.slaveAddress = 7;
    device.SetConfig(config);
    ASSERT_TRUE(device.Connect());
    ASSERT_TRUE(device.ReadCoils(0, 32).success);
    ASSERT_TRUE(device.ReadInputs(0, 32).success);
    EXPECT_EQ(CachedWord(device, true), 0x8000000Fu);
    // The relay protocol carries no inputs: they stay OFF in the tool.
    EXPECT_EQ(CachedWord(device, false), protocol == ProtocolType::Protocol55 ? 0u : 0xA5u);
    // Coil 5 on, coil 0 off (the relay protocol toggles, which comes to the same).
    ASSERT_TRUE(device.WriteCoil(5, 1).success);
    ASSERT_TRUE(device.WriteCoil(0, 0).success);
    uint32_t coils = 0, inputs = 0;
    ASSERT_TRUE(sim.ReadStates(coils, inputs));
    EXPECT_EQ(coils, 0x8000002Eu);
    EXPECT_EQ(CachedWord(device, true), 0x8000002Eu);
    // Silent, it goes Offline by the heartbeat check (the window's timer, faster), not
    // before the heartbeat time-out, once; a poll that meets silence keeps it there.
    const auto lastAnswer = std::chrono::steady_clock::now();
    ASSERT_TRUE(sim.Command("silent"));
    events.Take();
    for (int i = 0; i < 500 && device.GetState() != DeviceState::Offline; ++i) {
        device.CheckHeartbeat();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(device.GetState(), DeviceState::Offline);
    EXPECT_GT(std::chrono::steady_clock::now() - lastAnswer, std::chrono::milliseconds(500));
    EXPECT_FALSE(device.ReadCoils(0, 32).success);
    device.CheckHeartbeat();
    EXPECT_EQ(device.GetState(), DeviceState::Offline);
    EXPECT_THAT(events.Take(), AllOf(Contains("state 2->4"), Contains("heartbeat").Times(1)));
    // Answering again, it is back with the next read.
    ASSERT_TRUE(sim.Command("resume"));
    ASSERT_TRUE(device.ReadCoils(0, 32).success);
    EXPECT_EQ(device.GetState(), DeviceState::Connected);
    EXPECT_THAT(events.lines, Contains("state 4->2"));
    EXPECT_THAT(events.lines, Contains("log R 收到数据，设备自动恢复连接"));
    EXPECT_EQ(CachedWord(device, true), 0x8000002Eu);
    EXPECT_EQ(sim.Stop(), 0);
    struct stat info {};
    EXPECT_NE(::lstat(link.c_str(), &info), 0) << "the link was left behind";
    ::unlink(link.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    TransportsAndProtocols, SimDevice,
    ::testing::Combine(::testing::Values(CommType::Tcp, CommType::Udp, CommType::Serial),
                       ::testing::Values(ProtocolType::ModbusRtu, ProtocolType::ModbusTcp,
                                         ProtocolType::Protocol55)),
    [](const ::testing::TestParamInfo<Combination>& info) {
        return NameOf(std::get<0>(info.param)) + NameOf(std::get<1>(info.param));
    });
