#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <termios.h>
#include <vector>

#include "UniqueFd.h"

// A pseudo-terminal pair that stands in for the board's serial port. The tool opens
// the slave side (its path, or the stable symlink); the simulator reads and writes the
// master side. The slave is put in raw mode so that bytes pass unchanged, and the
// simulator keeps its own slave descriptor open so that the master never sees a hang-up
// while no tool is connected.
class PtyPort {
public:
    PtyPort() = default;
    // Removes the symlink if it still points at this pseudo-terminal.
    ~PtyPort();
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;

    // Creates the pair and, when linkPath is not empty, the symlink (replacing a stale
    // symlink, never another kind of file). False with the reason in `error`.
    bool Open(const std::string &linkPath, std::string &error);
    int Fd() const { return master.Get(); }
    const std::string &SlavePath() const { return slavePath; }
    const std::string &LinkPath() const { return linkPath; }
    // Bytes waiting on the master side: their count, 0 for none, -1 on error.
    ssize_t Read(uint8_t *buffer, size_t size);
    // The whole answer in one write; false when it could not all be written.
    bool Write(const std::vector<uint8_t> &bytes);
    // The settings the tool gave its end of the pair (baud rate, framing); false on error.
    bool PortSettings(termios &out) const;
    // Removes the symlink now (also done by the destructor).
    void RemoveLink();

private:
    UniqueFd master;
    UniqueFd slave;
    std::string slavePath;
    std::string linkPath;
};
