#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include <modbus.h>

// A Modbus server made with libmodbus, serving one register map on a background thread:
// over TCP on 127.0.0.1 (port chosen by the system) or over a serial device path. The
// loop waits in short slices and stops by itself when Stop() is called, when the
// destructor runs, or when its lifetime budget is spent, so it can never hang a test.
class LibmodbusServer {
public:
    // The map: coils and discrete inputs at addresses 0..count-1.
    LibmodbusServer(int coilCount, int inputCount);
    ~LibmodbusServer();
    LibmodbusServer(const LibmodbusServer&) = delete;
    LibmodbusServer& operator=(const LibmodbusServer&) = delete;

    // Listens on 127.0.0.1 and serves TCP clients one after another; false on failure.
    bool StartTcp(int lifetimeMs = 60000);
    // Opens devicePath as an RTU line for unit `unit` and serves it; false on failure.
    bool StartRtu(const std::string& devicePath, int unit, int lifetimeMs = 60000);
    void Stop();

    uint16_t Port() const { return port; }
    // Requests answered so far (counted as the answer is sent).
    int Served() const { return served.load(); }

    // Map access; safe while the server runs.
    void SetCoil(int index, bool on);
    void SetInput(int index, bool on);
    bool Coil(int index);

private:
    void ServeTcp(int lifetimeMs);
    void ServeRtu(int lifetimeMs);
    void Answer(const uint8_t* query, int length);

    modbus_t* ctx = nullptr;
    modbus_mapping_t* map = nullptr;
    std::mutex mapLock;
    int listenFd = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::atomic<int> served{0};
    std::thread worker;
};
