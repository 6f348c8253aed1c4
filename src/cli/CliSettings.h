#pragma once

#include <cstdint>
#include <string>

#include "device/DeviceConfig.h"
#include "tools/BoardScanner.h"

// What vornak-cli was asked to do, from its command line.
struct CliSettings {
    enum class Command { Read, Write, Poll, SelfTest, Scan };

    DeviceConfig device;        // transport, protocol, address, time-out and retries
    std::string where;          // the transport as typed: HOST:PORT or PATH, for messages
    bool protocolGiven = false; // --protocol was on the command line
    bool timeoutGiven = false;  // --timeout was on the command line
    bool json = false;
    bool verbose = false;
    bool stats = false;

    Command command = Command::Read;
    bool inputs = false;       // read: inputs instead of coils
    int32_t start = 0;         // read
    int32_t count = 32;        // read
    int32_t coil = 0;          // write
    bool on = false;           // write
    int32_t intervalMs = 1000; // poll
    int64_t rounds = 0;        // poll: 0 until interrupted
    std::string vcdPath;       // poll: record the changes as a Value Change Dump
    std::string csvPath;       // poll: and as CSV
    bool loopback = false;     // selftest
    ScanPlan scan;             // scan
};
