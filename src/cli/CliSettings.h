#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "device/DeviceConfig.h"
#include "tools/BoardScanner.h"

// What vornak-cli was asked to do, from its command line.
struct CliSettings {
    enum class Command { Read, Write, Poll, Wait, SelfTest, Scan };

    DeviceConfig device;        // transport, protocol, address, time-out and retries
    std::string where;          // the transport as typed: HOST:PORT or PATH, for messages
    std::string local;          // --local as typed, for messages
    bool protocolGiven = false; // --protocol was on the command line
    bool timeoutGiven = false;  // --timeout was on the command line
    bool json = false;
    bool verbose = false;
    bool stats = false;
    bool quiet = false; // no progress on standard error

    Command command = Command::Read;
    bool inputs = false; // read, wait: inputs instead of coils
    int32_t start = 0;   // read
    int32_t count = 32;  // read
    // write: the coils to switch and their wanted states, in the order given.
    std::vector<std::pair<int32_t, bool>> writes;
    bool verify = true;        // write: read the coils back
    int32_t point = 0;         // wait: the input or coil watched
    bool on = false;           // wait: the state waited for
    double waitSeconds = 0;    // wait: 0 waits until interrupted
    int32_t intervalMs = 1000; // poll, wait
    int64_t rounds = 0;        // poll: 0 until interrupted
    std::string vcdPath;       // poll: record the changes as a Value Change Dump
    std::string csvPath;       // poll: and as CSV
    bool loopback = false;     // selftest
    ScanPlan scan;             // scan
};
