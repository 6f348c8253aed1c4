// Boards and gateways as they are in the field, played by the simulator: slow turnaround, slow
// lines, answers in pieces, late, stray and doubled answers, a stranger on the network, echoing
// RS-485 adapters, gateways that close idle connections, boards that restart or have fewer
// points, each over the transports where it occurs and in every protocol. A mix of full reads,
// one-point reads (as a click does) and coil writes; after every success every point the Device
// has learnt is compared with the board's state: a success that shows another state is the worst
// fault a test tool can have. VORNAK_FIELD_OPERATIONS (default 16 per transport and protocol)
// makes every row longer: the row with every fault at once is then a soak test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "sim/SimDeviceRig.h"
#include "support/OpenDescriptors.h"
#include "support/RecordingCallback.h"

namespace {

// What a row requires besides no wrong state: every operation succeeds, none does (each a
// time-out), all but those whose own answer came late, or any count.
enum class Expect { All, None, AllButLate, Any };

struct Situation {
    const char* name;
    std::vector<std::string> simArguments;
    std::vector<CommType> transports;
    Expect expect;
    int pauseMs = 0;              // before every operation
    const char* midway = nullptr; // a simulator command before operation 8
    bool relayProtocol = true;    // the 0x55 protocol too
    // Only one-point reads, each of another point (Modbus), or only toggles (0x55), as clicks
    // make them: a late or doubled answer then has the very shape of the next one's.
    bool clicks = false;
};

constexpr CommType kSerial = CommType::Serial, kTcp = CommType::Tcp, kUdp = CommType::Udp;
// clang-format off
const Situation kSituations[] = {
    {"Turnaround60msAt9600Baud", {"--turnaround", "60", "--baud", "9600"}, {kSerial}, Expect::All},
    {"At1200Baud", {"--baud", "1200"}, {kSerial}, Expect::All},
    {"ThreePieces20msApart", {"--chunks", "3,20"}, {kTcp, kUdp}, Expect::All},
    {"LateAnswers", {"--delay", "350,20"}, {kSerial, kTcp, kUdp}, Expect::AllButLate},
    {"StrayBytes", {"--stray", "30", "--baud", "9600"}, {kSerial, kTcp, kUdp}, Expect::All},
    // Another host (127.0.0.2) sends a well-formed answer with the opposite states first.
    {"StrangerOnTheNetwork", {"--stranger", "100"}, {kUdp}, Expect::All},
    {"EchoingLineBoardOff", {"--echo", "--silent"}, {kSerial}, Expect::None},
    {"EchoingLine", {"--echo", "--baud", "9600"}, {kSerial}, Expect::All},
    {"EchoingLineTurnaround60ms", {"--echo", "--turnaround", "60", "--baud", "9600"}, {kSerial}, Expect::All},
    // Points 16-31 answer exception 02: full reads and their writes fail, nothing shows ON.
    {"EchoingLine16Points", {"--echo", "--points", "16"}, {kSerial}, Expect::Any, 0, nullptr, false},
    {"SilentSerialBoard", {"--silent"}, {kSerial}, Expect::None},
    {"LateAnswersToClicks", {"--delay", "350,20"}, {kSerial, kUdp}, Expect::AllButLate, 0, nullptr, true, true},
    {"DoubledDatagrams5ms", {"--dup", "5", "--turnaround", "20"}, {kUdp}, Expect::All, 0, nullptr, true, true},
    {"DoubledDatagrams8ms", {"--dup", "8", "--turnaround", "20"}, {kUdp}, Expect::All, 0, nullptr, true, true},
    {"GatewayClosesIdleConnections", {"--idle-close", "150"}, {kTcp}, Expect::All, 250},
    // Silent for 400 ms and back with every coil OFF, its connections dropped: the Device
    // reconnects by itself and the last operations succeed again.
    {"BoardRestarts", {}, {kTcp, kSerial}, Expect::Any, 0, "reset 400 drop"},
    // Lost, broken, late, slow and junk-trailed answers at random, every one slow to start and
    // in two pieces, until midway; then none: the Device comes back in step without help.
    {"EveryFaultThenNone", {"--drop", "10", "--corrupt", "10", "--late=10", "--delay", "300,10", "--stray", "10",
      "--turnaround", "20", "--chunks", "2,10", "--baud", "38400"}, {kTcp, kUdp, kSerial}, Expect::Any, 0, "clear"},
};
// clang-format on

class FieldTest : public ::testing::TestWithParam<Situation> {};

TEST_P(FieldTest, EveryAnswerIsTheBoardsOwn) {
    const Situation& situation = GetParam();
    const char* operations = std::getenv("VORNAK_FIELD_OPERATIONS");
    const int kOperations =
        operations != nullptr && std::atoi(operations) > 16 ? std::atoi(operations) : 16;
    const int descriptorsBefore = CountOpenDescriptors();
    for (CommType transport : situation.transports) {
        for (ProtocolType protocol :
             {ProtocolType::ModbusRtu, ProtocolType::ModbusTcp, ProtocolType::Protocol55}) {
            if (protocol == ProtocolType::Protocol55 && !situation.relayProtocol)
                continue;
            SCOPED_TRACE(NameOf(transport) + " " + NameOf(protocol));
            SimProcess sim{VORNAK_SIM_PATH};
            ASSERT_TRUE(StartOnEveryLink(
                sim, {"--coils", "92492492", "--inputs", "5A5AA5C3", "--seed", "7"},
                situation.simArguments))
                << sim.ErrorOutput();

            // The window's defaults: three attempts of 100 ms.
            Device device;
            ConfigureForSim(device, sim, transport, protocol, 100, 5000);
            DeviceConfig config = device.GetConfig();
            config.retryCount = 3;
            config.serial.baudRate = 9600;
            device.SetConfig(config);
            ASSERT_TRUE(device.Connect());

            int succeeded = 0, wrong = 0, lastSucceeded = 0;
            uint32_t knownCoils = 0, knownInputs = 0; // points the cache has learnt
            for (int i = 0; i < kOperations; ++i) {
                if (situation.pauseMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(situation.pauseMs));
                if (situation.midway != nullptr && i == kOperations / 2) {
                    ASSERT_TRUE(sim.Command(situation.midway));
                    knownCoils = knownInputs = 0; // the board changed behind the Device's back
                }
                const uint8_t point = uint8_t((i * 7 + 3) % 32);
                // Reads of all 32 points, one-point reads, and a write of the opposite state.
                OperationResult result;
                uint32_t coilsTold = 0, inputsTold = 0; // what a success teaches the cache
                const bool relay = protocol == ProtocolType::Protocol55;
                switch (situation.clicks ? (relay ? 3 : 2) : i % 4) {
                case 0:
                    result = device.ReadCoils(0, 32);
                    coilsTold = ~0u;
                    break;
                case 1:
                    result = device.ReadInputs(0, 32);
                    inputsTold = ~0u;
                    break;
                case 2:
                    result = i % 8 == 2 ? device.ReadCoils(point, 1) : device.ReadInputs(point, 1);
                    (i % 8 == 2 ? coilsTold : inputsTold) = 1u << point;
                    break;
                default:
                    result = device.WriteCoil(point, !device.GetCachedCoil(point));
                    coilsTold = 1u << point;
                    break;
                }
                // The relay protocol answers every request with all 32 relays (and no inputs).
                if (protocol == ProtocolType::Protocol55)
                    coilsTold = ~0u, inputsTold = 0;
                if (!result.success) {
                    if (situation.expect == Expect::None)
                        EXPECT_EQ(result.kind, ErrorKind::Timeout) << result.message;
                    // A write that failed may still have switched the board.
                    if (i % 4 == 3)
                        knownCoils &= ~(1u << point);
                    lastSucceeded = 0;
                    continue;
                }
                ++succeeded;
                ++lastSucceeded;
                knownCoils |= coilsTold;
                knownInputs |= inputsTold;
                uint32_t coilStates = 0, inputStates = 0;
                ASSERT_TRUE(sim.ReadStates(coilStates, inputStates));
                const bool same =
                    (CachedWord(device, true) & knownCoils) == (coilStates & knownCoils) &&
                    (CachedWord(device, false) & knownInputs) == (inputStates & knownInputs);
                wrong += same ? 0 : 1;
                EXPECT_TRUE(same) << "operation " << i << ": " << result.detail;
            }

            std::string stats;
            sim.Command("stats", &stats);
            const size_t at = stats.find("delayed=");
            const int late = at == std::string::npos ? 0 : std::atoi(stats.c_str() + at + 8);
            std::printf("field %s %s %s: %d of %d succeeded, %d wrong states, %d late answers\n",
                        situation.name, NameOf(transport).c_str(), NameOf(protocol).c_str(),
                        succeeded, kOperations, wrong, late);
            if (situation.expect == Expect::All)
                EXPECT_EQ(succeeded, kOperations);
            if (situation.expect == Expect::None)
                EXPECT_EQ(succeeded, 0);
            if (situation.expect == Expect::AllButLate)
                EXPECT_GE(succeeded, kOperations - late);
            if (situation.midway != nullptr)
                EXPECT_GE(lastSucceeded, 3); // back by itself
            device.Disconnect();
        }
    }
    EXPECT_EQ(CountOpenDescriptors(), descriptorsBefore) << "descriptors leaked";
}

INSTANTIATE_TEST_SUITE_P(Situations, FieldTest, ::testing::ValuesIn(kSituations),
                         [](const auto& info) { return std::string(info.param.name); });

// With the timed poll off, a healthy board is asked before it is declared gone, and stays; a
// silent one goes Offline by the heartbeat check, not before the time-out and once, and is back
// with the first read it answers. The board is at address 7.
TEST(FieldHeartbeat, AHealthyBoardStaysASilentOneGoesAndComesBack) {
    for (CommType transport : {CommType::Serial, CommType::Tcp, CommType::Udp}) {
        SCOPED_TRACE(NameOf(transport));
        SimProcess sim{VORNAK_SIM_PATH};
        ASSERT_TRUE(StartOnEveryLink(sim, {"--address", "7"})) << sim.ErrorOutput();
        RecordingCallback events; // outlives the device, which reports until its end
        Device device;
        device.SetCallback(&events);
        ConfigureForSim(device, sim, transport, ProtocolType::ModbusRtu, 100, 1000);
        DeviceConfig config = device.GetConfig();
        config.slaveAddress = 7;
        device.SetConfig(config);
        ASSERT_TRUE(device.Connect());
        for (int tick = 0; tick < 3; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            device.CheckHeartbeat();
        }
        EXPECT_EQ(device.GetState(), DeviceState::Connected);

        ASSERT_TRUE(device.ReadCoils(0, 32).success);
        const auto lastAnswer = std::chrono::steady_clock::now();
        ASSERT_TRUE(sim.Command("silent"));
        events.Take();
        for (int i = 0; i < 500 && device.GetState() != DeviceState::Offline; ++i) {
            device.CheckHeartbeat();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_EQ(device.GetState(), DeviceState::Offline);
        EXPECT_GT(std::chrono::steady_clock::now() - lastAnswer, std::chrono::milliseconds(1000));
        EXPECT_FALSE(device.ReadCoils(0, 32).success); // a poll that meets silence keeps it there
        device.CheckHeartbeat();
        EXPECT_EQ(device.GetState(), DeviceState::Offline);
        const std::vector<std::string> gone = events.Take();
        EXPECT_EQ(std::count(gone.begin(), gone.end(), "state 2->4"), 1);
        EXPECT_EQ(std::count(gone.begin(), gone.end(), "heartbeat"), 1);
        ASSERT_TRUE(sim.Command("resume"));
        ASSERT_TRUE(device.ReadCoils(0, 32).success);
        EXPECT_EQ(device.GetState(), DeviceState::Connected);
        EXPECT_EQ(events.lines.at(2), "log R 收到数据，设备自动恢复连接");
        EXPECT_EQ(sim.Stop(), 0);
    }
}

} // namespace
