// Boards and gateways as they are in the field, played by the simulator: slow turnaround, slow
// lines, answers in pieces, late answers, stray bytes and a stranger on the network, each over
// the transports where it occurs and in every protocol. A mix of full reads, one-point reads
// (as a click does) and coil writes must all succeed, except an operation whose own answer came
// late; and what each success reports must be the board's state, never another request's.
#include <gtest/gtest.h>

#include <cstdio>

#include "sim/SimDeviceRig.h"

namespace {

struct Situation {
    const char* name;
    std::vector<std::string> simArguments;
    std::vector<CommType> transports;
};

const Situation kSituations[] = {
    {"Turnaround60msAt9600Baud", {"--turnaround", "60", "--baud", "9600"}, {CommType::Serial}},
    {"At1200Baud", {"--baud", "1200"}, {CommType::Serial}},
    {"ThreePieces20msApart", {"--chunks", "3,20"}, {CommType::Tcp, CommType::Udp}},
    {"LateAnswers", {"--delay", "350,20"}, {CommType::Serial, CommType::Tcp, CommType::Udp}},
    {"StrayBytes",
     {"--stray", "30", "--baud", "9600"},
     {CommType::Serial, CommType::Tcp, CommType::Udp}},
    // Another host (127.0.0.2) sends a well-formed answer with the opposite states first.
    {"StrangerOnTheNetwork", {"--stranger", "100"}, {CommType::Udp}},
};

class FieldTest : public ::testing::TestWithParam<Situation> {};

TEST_P(FieldTest, EveryAnswerIsTheBoardsOwn) {
    const Situation& situation = GetParam();
    constexpr int kOperations = 16;
    for (CommType transport : situation.transports) {
        for (ProtocolType protocol :
             {ProtocolType::ModbusRtu, ProtocolType::ModbusTcp, ProtocolType::Protocol55}) {
            SCOPED_TRACE(NameOf(transport) + " " + NameOf(protocol));
            SimProcess sim{VORNAK_SIM_PATH};
            std::vector<std::string> arguments = {"--tcp",    "0",        "--udp",   "0",
                                                  "--pty",    "--quiet",  "--coils", "92492492",
                                                  "--inputs", "5A5AA5C3", "--seed",  "7"};
            arguments.insert(arguments.end(), situation.simArguments.begin(),
                             situation.simArguments.end());
            ASSERT_TRUE(sim.Start(arguments)) << sim.ErrorOutput();

            // The window's defaults: three attempts of 100 ms.
            Device device;
            ConfigureForSim(device, sim, transport, protocol, 100, 5000);
            DeviceConfig config = device.GetConfig();
            config.retryCount = 3;
            config.serial.baudRate = 9600;
            device.SetConfig(config);
            ASSERT_TRUE(device.Connect());

            int succeeded = 0;
            for (int i = 0; i < kOperations; ++i) {
                const uint8_t point = uint8_t((i * 7 + 3) % 32);
                // Reads of all 32 points, one-point reads, and a write of the opposite state.
                OperationResult result;
                uint32_t reported = ~0u; // the points whose states the answer reported
                switch (i % 4) {
                case 0:
                    result = device.ReadCoils(0, 32);
                    break;
                case 1:
                    result = device.ReadInputs(0, 32);
                    break;
                case 2:
                    result = i % 8 == 2 ? device.ReadCoils(point, 1) : device.ReadInputs(point, 1);
                    reported = 1u << point;
                    break;
                default:
                    result = device.WriteCoil(point, !device.GetCachedCoil(point));
                    reported = 1u << point;
                    break;
                }
                const bool readInputs = i % 4 == 1 || (i % 4 == 2 && i % 8 != 2);
                if (!result.success)
                    continue;
                ++succeeded;
                uint32_t coilStates = 0, inputStates = 0;
                ASSERT_TRUE(sim.ReadStates(coilStates, inputStates));
                // The relay protocol answers every request with all 32 relays (and no inputs).
                if (protocol == ProtocolType::Protocol55)
                    reported = ~0u;
                if (readInputs && protocol != ProtocolType::Protocol55) {
                    EXPECT_EQ(CachedWord(device, false) & reported, inputStates & reported)
                        << "operation " << i << ": " << result.detail;
                } else {
                    EXPECT_EQ(CachedWord(device, true) & reported, coilStates & reported)
                        << "operation " << i << ": " << result.detail;
                }
            }

            std::string stats;
            sim.Command("stats", &stats);
            const size_t at = stats.find("delayed=");
            const int late = at == std::string::npos ? 0 : std::atoi(stats.c_str() + at + 8);
            std::printf("field %s %s %s: %d of %d succeeded, %d late answers\n", situation.name,
                        NameOf(transport).c_str(), NameOf(protocol).c_str(), succeeded,
                        kOperations, late);
            EXPECT_GE(succeeded, kOperations - late);
            device.Disconnect();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Situations, FieldTest, ::testing::ValuesIn(kSituations),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
