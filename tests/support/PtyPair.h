#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// A pseudo-terminal standing in for a serial device: the code under test opens
// SlavePath(), the test plays the far end on the raw master, step by step (Write, Read)
// or scripted: StartScripted answers each request (the bytes up to a pause of 10 ms) on a
// background thread until the destructor. Every wait is bounded.
class PtyPair {
public:
    using Bytes = std::vector<uint8_t>;
    using Responder = std::function<Bytes(const Bytes& request)>;

    PtyPair();
    ~PtyPair();

    bool Ok() const { return master >= 0; }
    const std::string& SlavePath() const { return slavePath; }
    // The master (non-blocking, close-on-exec); -1 once closed.
    int MasterFd() const { return master; }

    // Writes every byte at once (the line takes a few KiB); false otherwise.
    bool Write(const Bytes& bytes);
    // What the slave side sent, until count bytes have come or timeoutMs has passed.
    Bytes Read(size_t count, int timeoutMs);
    // Closes the master, as when a USB adapter is pulled. Not while scripted.
    void CloseMaster();
    // An empty answer sends nothing. False if not open or already scripted.
    bool StartScripted(Responder responder);

private:
    int master = -1;
    std::string slavePath;
    std::atomic<bool> stop{false};
    std::thread worker;
};
