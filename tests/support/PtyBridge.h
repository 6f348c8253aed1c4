#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "support/PtyPair.h"

// Two pseudo-terminals joined back to back, like a null-modem cable between two serial
// ports: what one slave side sends arrives at the other. Both ends can be opened by path,
// so two programs that each insist on opening "their" serial port can talk. A background
// thread relays the bytes until the destructor stops and joins it.
class PtyBridge {
public:
    PtyBridge();
    ~PtyBridge();
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    bool Ok() const { return ok; }
    const std::string& PathA() const { return a.SlavePath(); }
    const std::string& PathB() const { return b.SlavePath(); }

private:
    void Relay();

    PtyPair a;
    PtyPair b;
    int stopPipe[2] = {-1, -1};
    bool ok = false;
    std::thread worker;
};
