#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "history/IChangeWriter.h"

// poll --vcd FILE / --csv FILE: every change of a coil or an input that the poll reads, with
// the time its answer arrived, into a Value Change Dump and a CSV file as it happens; a
// failed read makes its points unknown (x). Time 0 is the start of the poll.
class PollRecording {
public:
    // Creates the files named (an empty path: none). False, with the path in `error`, when
    // one cannot be created.
    bool Open(const std::string& vcdPath, const std::string& csvPath, std::string& error);
    bool Active() const { return !m_writers.empty(); }
    // After a read of the 32 coils or inputs; states holds 32 levels when it succeeded.
    void OnRead(bool coils, bool success, const std::vector<int>& states);
    // Writes out what is buffered, so that a file read meanwhile is complete so far.
    void Flush();
    // False when a write failed.
    bool Close();

private:
    int64_t NowUs() const;

    std::vector<std::unique_ptr<IChangeWriter>> m_writers;
    int64_t m_originUs = 0;
    PointLevel m_levels[kHistoryPoints];
};
