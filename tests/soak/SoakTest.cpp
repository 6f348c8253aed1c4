// The Device against the simulator for long, about one answer in ten hit by a fault (seeded),
// every answer slow to start and in two pieces, over each transport in each protocol in turn:
// no crash, no leaked descriptor, and once the faults stop the cache comes to equal the board
// without a reconnect. It prints a summary; VORNAK_SOAK_SECONDS
// (per transport, default 30) and VORNAK_SOAK_SEED change the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

#include "sim/SimDeviceRig.h"
#include "support/OpenDescriptors.h"
#include "support/RecordingCallback.h"

namespace {

using Clock = std::chrono::steady_clock;

long EnvironmentNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    char* end = nullptr;
    const long value = text != nullptr ? std::strtol(text, &end, 10) : 0;
    return value > 0 && *end == '\0' ? value : fallback;
}

// Reads until the cache equals the board, whose states no longer move: the reads it took,
// or -1 when it did not within 100 reads or ten seconds.
long ReadUntilInStep(Device& device, SimProcess& sim, ProtocolType protocol) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    for (long reads = 2; reads <= 100 && Clock::now() < deadline; reads += 2) {
        const bool read = device.ReadCoils(0, 32).success && device.ReadInputs(0, 32).success;
        uint32_t coils = 0, inputs = 0;
        if (!sim.ReadStates(coils, inputs))
            return -1;
        // The relay protocol carries no inputs; the tool keeps them OFF.
        if (read && CachedWord(device, true) == coils &&
            CachedWord(device, false) == (protocol == ProtocolType::Protocol55 ? 0 : inputs))
            return reads;
    }
    return -1;
}

class Soak : public ::testing::TestWithParam<CommType> {};

} // namespace

TEST_P(Soak, SurvivesInjectedFaultsAndEndsInStep) {
    const long seconds = EnvironmentNumber("VORNAK_SOAK_SECONDS", 30);
    const long seed = EnvironmentNumber("VORNAK_SOAK_SEED", 20240607);
    const int descriptorsBefore = CountOpenDescriptors();
    int descriptorsMax = descriptorsBefore;
    std::ostringstream report;
    {
        SimProcess sim{VORNAK_SIM_PATH};
        ASSERT_TRUE(sim.Start({"--tcp", "0", "--udp", "0", "--pty", "--quiet", "--inputs", "mirror",
                               "--coils", "0F0F0F0F", "--seed", std::to_string(seed)}))
            << sim.ErrorOutput();
        RecordingCallback events;
        Device device;
        device.SetCallback(&events);
        std::mt19937 operations(static_cast<uint32_t>(seed));
        for (ProtocolType protocol :
             {ProtocolType::ModbusRtu, ProtocolType::ModbusTcp, ProtocolType::Protocol55}) {
            // Two receive attempts of 250 ms: a slow answer (300 ms) is caught by the second.
            device.Disconnect();
            ConfigureForSim(device, sim, GetParam(), protocol, 250, 3000);
            ASSERT_TRUE(device.Connect()) << NameOf(protocol);
            for (const char* fault : {"drop 3", "corrupt 3", "late 2", "delay 300 2", "stray 3",
                                      "turnaround 20", "chunks 2 10", "baud 38400"})
                ASSERT_TRUE(sim.Command(fault)) << fault;
            events.Take();
            std::map<std::string, long> failures;
            long transactions = 0, succeeded = 0;
            for (const auto end = Clock::now() + std::chrono::seconds(seconds) / 3;
                 Clock::now() < end; ++transactions) {
                const uint32_t roll = operations() % 10;
                const uint8_t coil = operations() % 32, on = operations() % 2;
                const OperationResult result = roll < 4   ? device.ReadCoils(0, 32)
                                               : roll < 7 ? device.ReadInputs(0, 32)
                                                          : device.WriteCoil(coil, on);
                // By code and the text up to its first ':' (-9 covers every refusal).
                if (!result.success)
                    ++failures[std::to_string(result.code) + " " +
                               result.message.substr(0, result.message.find(':'))];
                succeeded += result.success;
                device.CheckHeartbeat();
                if (transactions % 50 == 0)
                    descriptorsMax = std::max(descriptorsMax, CountOpenDescriptors());
            }
            ASSERT_TRUE(sim.Command("clear"));
            // Answers that came after the Device gave up are dropped before the next request,
            // so the stream never stays behind.
            const long reads = ReadUntilInStep(device, sim, protocol);
            EXPECT_GT(reads, 0) << NameOf(protocol) << ": the cache never came to equal the board";
            EXPECT_NE(device.GetState(), DeviceState::Offline);
            report << "  " << NameOf(protocol) << ": " << transactions << " transactions, "
                   << succeeded << " succeeded";
            for (const auto& [kind, count] : failures)
                report << ", " << count << " x " << kind;
            report << "; in step after " << reads << " reads\n";
        }
        device.SetCallback(nullptr);
        EXPECT_EQ(sim.Stop(), 0) << "the simulator did not end cleanly";
    }
    const int descriptorsAfter = CountOpenDescriptors();
    EXPECT_EQ(descriptorsAfter, descriptorsBefore) << "descriptors leaked";
    std::printf("soak %s: %ld s, seed %ld, descriptors %d before, %d at most, %d after\n%s",
                NameOf(GetParam()).c_str(), seconds, seed, descriptorsBefore, descriptorsMax,
                descriptorsAfter, report.str().c_str());
}

INSTANTIATE_TEST_SUITE_P(Transports, Soak,
                         ::testing::Values(CommType::Tcp, CommType::Udp, CommType::Serial),
                         [](const auto& info) { return NameOf(info.param); });
