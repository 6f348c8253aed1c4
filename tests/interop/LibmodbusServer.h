#pragma once

#include <atomic>
#include <modbus.h>
#include <mutex>
#include <thread>

#include "support/PtyPair.h"

// A libmodbus server of coils and discrete inputs (addresses from 0), serving on a
// background thread until Stop, the destructor or the end of its lifetime: Modbus TCP on
// 127.0.0.1, or Modbus RTU for unit 1 on the master of a pseudo-terminal. Every wait is a
// slice of at most 50 ms.
class LibmodbusServer {
public:
    LibmodbusServer(int coilCount, int inputCount);
    ~LibmodbusServer();

    // False when the server could not be set up.
    bool StartTcp(int lifetimeMs = 60000) { return Start(false, lifetimeMs); }
    bool StartRtu(int lifetimeMs = 60000) { return Start(true, lifetimeMs); }
    void Stop();
    // The TCP port, or the serial port to open.
    uint16_t Port() const { return port; }
    const std::string& SerialPath() const { return pty.SlavePath(); }

    // The map; safe while the server runs.
    void SetCoil(int index, bool on);
    void SetInput(int index, bool on);
    bool Coil(int index);

private:
    bool Start(bool rtu, int lifetimeMs);

    PtyPair pty;
    modbus_t* ctx = nullptr;
    modbus_mapping_t* map = nullptr;
    std::mutex mapLock;
    int listenFd = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::thread worker;
};
