#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal for tests: the slave path stands in for a serial port that the code
// under test opens, and the test plays the far end of the line on the master. The
// master starts raw, so bytes cross it unchanged; whatever the slave side's settings do
// to the bytes is what the code under test set up.
class PtyPair {
public:
    // Opens a new pair; check Ok() before use.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master >= 0 && !slavePath.empty(); }
    // The device path of the slave side, e.g. "/dev/pts/7".
    const std::string& SlavePath() const { return slavePath; }
    // The master's descriptor (non-blocking, close-on-exec); -1 once closed.
    int MasterFd() const { return master; }

    // Writes every byte to the master within timeoutMs: what the far end "sends".
    bool Write(const std::vector<uint8_t>& bytes, int timeoutMs = 1000);
    // Reads what the slave side sent until `count` bytes have come or timeoutMs has
    // passed; returns what arrived (possibly fewer bytes, possibly none).
    std::vector<uint8_t> Read(size_t count, int timeoutMs);
    // Discards whatever the slave side has sent so far, without waiting.
    void Drain();
    // Closes the master, as if the far end (or a USB adapter) went away.
    void CloseMaster();

private:
    int master = -1;
    std::string slavePath;
};
