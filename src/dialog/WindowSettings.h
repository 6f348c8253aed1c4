#pragma once

#include <cstdint>
#include <string>

#include "comm/ICommunication.h"
#include "protocol/IProtocol.h"

class ISettingsStore;

// What the window remembers between runs: the selectors, every field of the three
// setting panes, the address, the timed poll and the link parameters. Fields hold what
// the controls show (texts for edits, item values or indices for list combos); the
// defaults are the window's start-up values.
//
// Load treats the store as untrusted: each value is checked as if the operator had
// typed it, and a missing, malformed or out-of-range value gives that field's default.
struct WindowSettings {
    // A closed range of accepted values.
    struct Range {
        int32_t min;
        int32_t max;
        bool Contains(int64_t value) const { return value >= min && value <= max; }
    };
    // Limits of "通信参数..." and of what Load accepts for them.
    static constexpr Range kReceiveTimeoutRange{20, 60000}; // ms
    static constexpr Range kRetryCountRange{1, 10};
    static constexpr Range kHeartbeatTimeoutRange{1000, 3600000}; // ms
    // The poll interval the window raises shorter ones to, in ms.
    static constexpr int32_t kMinPollInterval = 100;
    // Texts longer than this (bytes) are not taken from the store.
    static constexpr size_t kMaxTextBytes = 255;

    ProtocolType protocol = ProtocolType::ModbusRtu;
    CommType transport = CommType::Serial; // the ticked transport selector; None: none
    std::string address = "1";
    std::string serialPort; // empty: the first port found
    uint32_t baudRate = 9600;
    uint32_t dataBits = 8;
    int32_t stopBitsIndex = 0; // items "1", "1.5", "2"
    int32_t parityIndex = 0;   // items "无校验", "奇校验", "偶校验"
    std::string tcpServer = "192.168.1.110";
    std::string tcpPort = "6000";
    std::string udpLocalIp = "0.0.0.0";
    std::string udpLocalPort = "0";
    std::string udpRemoteIp = "192.168.1.110";
    std::string udpRemotePort = "6000";
    bool pollEnabled = true;
    std::string pollInterval = "1000";
    int32_t receiveTimeout = 100; // ms
    int32_t retryCount = 3;
    int32_t heartbeatTimeout = 5000; // ms
    bool selfTestLoopback = false;   // the self-test's "回环检查" option

    // The baud rates the window's list offers.
    static bool IsListedBaudRate(uint32_t baudRate);

    // The settings in store, each field checked; defaults where absent or broken.
    static WindowSettings Load(const ISettingsStore& store);
    // Writes every field into store (Sync is the caller's).
    void Save(ISettingsStore& store) const;

    bool operator==(const WindowSettings& other) const;
    bool operator!=(const WindowSettings& other) const { return !(*this == other); }
};
