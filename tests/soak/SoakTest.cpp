// A long run of the tool's Device against the simulator with about one answer in ten
// hit by a fault (dropped, corrupted, slow or late; seeded), over each transport and
// each protocol in turn. Nothing may crash or leak a descriptor, and once the faults
// stop, the Device's cache must come to equal the board's states.
//
// Environment: VORNAK_SOAK_SECONDS (per transport, default 30), VORNAK_SOAK_SEED, and
// VORNAK_SOAK_FAULTS (simulator fault commands separated by ';') for another mix.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../sim/SimDeviceRig.h"
#include "support/OpenDescriptors.h"
#include "support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

// One receive attempt waits 250 ms and there are two: a slow answer (300 ms) misses
// the first attempt and is caught by the second, with 200 ms to spare on a busy machine.
constexpr int32_t kReceiveTimeoutMs = 250;
constexpr const char *kFaultMix = "drop 3;corrupt 3;late 2;delay 300 2";

std::vector<std::string> FaultCommands() {
    const char *custom = std::getenv("VORNAK_SOAK_FAULTS");
    std::istringstream mix(custom != nullptr && *custom != '\0' ? custom : kFaultMix);
    std::vector<std::string> commands;
    for (std::string command; std::getline(mix, command, ';');)
        commands.push_back(command);
    return commands;
}

// The simulator's "STATS name=value ..." line as numbers.
std::map<std::string, long> ParseStats(const std::string &line) {
    std::map<std::string, long> values;
    std::istringstream words(line);
    for (std::string word; words >> word;) {
        size_t equals = word.find('=');
        if (equals != std::string::npos) {
            values[word.substr(0, equals)] = std::strtol(word.c_str() + equals + 1, nullptr, 10);
        }
    }
    return values;
}

// What the simulator counted between two STATS lines, with the counters that moved.
std::string StatsSince(const std::string &before, const std::string &after) {
    std::map<std::string, long> old = ParseStats(before);
    std::string text;
    for (const auto &[name, value] : ParseStats(after)) {
        if (value == old[name])
            continue;
        text += (text.empty() ? "" : " ") + name + "=" + std::to_string(value - old[name]);
    }
    return text;
}

long EnvironmentNumber(const char *name, long fallback) {
    const char *text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    char *end = nullptr;
    long value = std::strtol(text, &end, 10);
    return (*end == '\0' && value > 0) ? value : fallback;
}

// What one soak saw, for the report printed at its end.
struct Tally {
    long transactions = 0;
    long succeeded = 0;
    // Failures by code and the message up to its first ':' (the code alone lumps every
    // refused answer together as -1).
    std::map<std::pair<int32_t, std::string>, long> failures;
    long offlineEntered = 0;
    long readsToConverge = 0;
    bool neededReconnect = false;
    std::string simStats;

    void Count(const OperationResult &result) {
        ++transactions;
        if (result.success) {
            ++succeeded;
            return;
        }
        ++failures[{result.code, result.message.substr(0, result.message.find(':'))}];
    }
};

// Watches for the Offline state without keeping the events.
class StateCounter : public IDeviceCallback {
public:
    void OnStateChanged(DeviceState, DeviceState newState) override {
        if (newState == DeviceState::Offline)
            ++offline;
    }
    void OnCoilChanged(int32_t, uint8_t) override {}
    void OnInputChanged(int32_t, uint8_t) override {}
    void OnLog(const std::string &, bool) override {}
    void OnOperationResult(const OperationResult &, uint8_t) override {}
    void OnHeartbeatTimeout() override {}
    long offline = 0;
};

class Soak : public ::testing::TestWithParam<CommType> {};

// Reads until the cache equals the board (whose states no longer move): the number of
// reads it took, or -1 when it did not within `reads` reads or ten seconds.
long ReadUntilEqual(Device &device, SimProcess &sim, ProtocolType protocol, long limit) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    long reads = 0;
    while (reads < limit && Clock::now() < deadline) {
        const bool coilsRead = device.ReadCoils(0, 32).success;
        const bool inputsRead = device.ReadInputs(0, 32).success;
        reads += 2;
        uint32_t coils = 0;
        uint32_t inputs = 0;
        if (!sim.ReadStates(coils, inputs))
            return -1;
        // The relay protocol carries no inputs; the tool keeps them OFF.
        const uint32_t expectedInputs = protocol == ProtocolType::Protocol55 ? 0 : inputs;
        if (coilsRead && inputsRead && CachedCoilWord(device) == coils &&
            CachedInputWord(device) == expectedInputs) {
            return reads;
        }
    }
    return -1;
}

} // namespace

TEST_P(Soak, SurvivesInjectedFaultsAndEndsInStep) {
    const long seconds = EnvironmentNumber("VORNAK_SOAK_SECONDS", 30);
    const long seed = EnvironmentNumber("VORNAK_SOAK_SEED", 20240607);
    const CommType transport = GetParam();
    const int descriptorsBefore = CountOpenDescriptors();
    ASSERT_GT(descriptorsBefore, 0);
    int descriptorsMax = descriptorsBefore;

    const ProtocolType protocols[] = {ProtocolType::ModbusRtu, ProtocolType::ModbusTcp,
                                      ProtocolType::Protocol55};
    std::map<ProtocolType, Tally> tallies;
    {
        SimProcess sim(VORNAK_SIM_PATH);
        ASSERT_TRUE(sim.Start({"--tcp", "0", "--udp", "0", "--pty", "--quiet", "--inputs", "mirror",
                               "--coils", "0F0F0F0F", "--seed", std::to_string(seed)}))
            << sim.ErrorOutput();
        StateCounter states;
        Device device;
        device.SetCallback(&states);
        std::mt19937 operations(static_cast<uint32_t>(seed));

        for (ProtocolType protocol : protocols) {
            Tally &tally = tallies[protocol];
            device.Disconnect();
            DeviceConfig config = SimDeviceConfig(sim, transport, protocol);
            config.receiveTimeout = kReceiveTimeoutMs;
            config.retryCount = 2;
            config.heartbeatTimeout = 3000;
            ApplyConfig(device, config);
            ASSERT_TRUE(device.Connect()) << ProtocolName(protocol);
            for (const std::string &fault : FaultCommands()) {
                ASSERT_TRUE(sim.Command(fault)) << fault;
            }

            const long offlineBefore = states.offline;
            std::string statsBefore;
            ASSERT_TRUE(sim.Command("stats", &statsBefore));
            const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds) / 3;
            while (Clock::now() < end) {
                const uint32_t roll = operations() % 10;
                if (roll < 4) {
                    tally.Count(device.ReadCoils(0, 32));
                } else if (roll < 7) {
                    tally.Count(device.ReadInputs(0, 32));
                } else {
                    tally.Count(device.WriteCoil(static_cast<uint8_t>(operations() % 32),
                                                 static_cast<uint8_t>(operations() % 2)));
                }
                device.CheckHeartbeat();
                if (tally.transactions % 50 == 0) {
                    descriptorsMax = std::max(descriptorsMax, CountOpenDescriptors());
                }
            }
            tally.offlineEntered = states.offline - offlineBefore;
            std::string statsAfter;
            ASSERT_TRUE(sim.Command("stats", &statsAfter));
            tally.simStats = StatsSince(statsBefore, statsAfter);
            ASSERT_TRUE(sim.Command("clear"));
            tally.readsToConverge = ReadUntilEqual(device, sim, protocol, 100);
            if (tally.readsToConverge < 0) {
                // An answer that came after the Device had given up stays queued, and the
                // Device, which reads one answer per request and never drops stale ones,
                // may stay one answer behind for good (a datagram transport keeps them
                // apart). Reconnecting, as an operator would, starts afresh.
                tally.neededReconnect = true;
                device.Disconnect();
                ASSERT_TRUE(device.Connect());
                tally.readsToConverge = ReadUntilEqual(device, sim, protocol, 100);
            }
            EXPECT_GT(tally.readsToConverge, 0)
                << CommName(transport) << "/" << ProtocolName(protocol)
                << ": the cache never came to equal the board once the faults stopped";
            EXPECT_NE(device.GetState(), DeviceState::Offline);
        }
        device.SetCallback(nullptr);
        EXPECT_EQ(sim.Stop(), 0) << "the simulator did not end cleanly";
    }
    const int descriptorsAfter = CountOpenDescriptors();
    EXPECT_EQ(descriptorsAfter, descriptorsBefore) << "descriptors leaked";

    std::ostringstream report;
    report << "soak " << CommName(transport) << ": " << seconds << " s, seed " << seed
           << ", descriptors " << descriptorsBefore << " before, " << descriptorsMax << " at most, "
           << descriptorsAfter << " after\n";
    for (ProtocolType protocol : protocols) {
        const Tally &tally = tallies[protocol];
        report << "  " << ProtocolName(protocol) << ": " << tally.transactions << " transactions, "
               << tally.succeeded << " succeeded";
        for (const auto &[kind, count] : tally.failures) {
            report << ", " << count << " x " << kind.first << " " << kind.second;
        }
        report << "; Offline " << tally.offlineEntered << " times; in step after "
               << tally.readsToConverge << " reads"
               << (tally.neededReconnect ? " and a reconnect (stuck one answer behind)" : "")
               << "\n    simulator " << tally.simStats << "\n";
    }
    std::fputs(report.str().c_str(), stdout);
}

INSTANTIATE_TEST_SUITE_P(Transports, Soak,
                         ::testing::Values(CommType::Tcp, CommType::Udp, CommType::Serial),
                         [](const ::testing::TestParamInfo<CommType> &info) {
                             return CommName(info.param);
                         });
