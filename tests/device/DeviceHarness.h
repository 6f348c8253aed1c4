#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/Device.h"
#include "support/RecordingCallback.h"
#include "support/ScriptedCommunication.h"

// A Device on scripted transports, a fake clock and recorded pauses, reporting to a
// RecordingCallback. No protocol is installed until a test asks for one.
class DeviceHarness : public ::testing::Test {
protected:
    static constexpr int64_t kNsPerMs = 1000000;

    void SetUp() override {
        Device::Hooks hooks;
        hooks.makeCommunication = [this](CommType kind) -> std::unique_ptr<ICommunication> {
            made.push_back(kind);
            return std::make_unique<ScriptedCommunication>(kind, script);
        };
        hooks.nowNs = [this] { return nowNs; };
        hooks.sleepMs = [this](int32_t ms) { pauses.push_back(ms); };
        device.SetHooks(hooks);
        device.SetCallback(&events);
    }

    void UseProtocol(ProtocolType type) {
        std::lock_guard<std::recursive_mutex> guard(device.GetLock());
        ASSERT_TRUE(device.SetProtocol(type));
    }

    void Configure(CommType commType, ProtocolType protocolType, int32_t retryCount = 3) {
        DeviceConfig config = device.GetConfig();
        config.commType = commType;
        config.protocolType = protocolType;
        config.retryCount = retryCount;
        device.SetConfig(config);
    }

    // A connected Modbus RTU device over a scripted TCP transport; events so far dropped.
    void ConnectRtu(int32_t retryCount = 3) { Connect(ProtocolType::ModbusRtu, retryCount); }

    void Connect(ProtocolType protocolType, int32_t retryCount = 3) {
        UseProtocol(protocolType);
        Configure(CommType::Tcp, protocolType, retryCount);
        ASSERT_TRUE(device.Connect());
        events.Take();
    }

    void AdvanceMs(int64_t ms) { nowNs += ms * kNsPerMs; }

    std::shared_ptr<CommScript> script = std::make_shared<CommScript>();
    RecordingCallback events;
    std::vector<CommType> made;
    std::vector<int32_t> pauses;
    int64_t nowNs = 1000 * kNsPerMs;
    Device device; // last, so that it goes first and still reports to the members above
};

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
