#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal standing in for a serial device: the code under test opens
// SlavePath(), the test plays the far end on the raw master (Write, Read). Every wait is
// bounded.
class PtyPair {
public:
    using Bytes = std::vector<uint8_t>;

    PtyPair();
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master >= 0; }
    const std::string& SlavePath() const { return slavePath; }

    // Writes every byte at once (the line takes a few KiB); false otherwise.
    bool Write(const Bytes& bytes);
    // What the slave side sent, until count bytes have come or timeoutMs has passed.
    Bytes Read(size_t count, int timeoutMs);
    // Closes the master, as when a USB adapter is pulled.
    void CloseMaster();

private:
    int master = -1;
    std::string slavePath;
};
