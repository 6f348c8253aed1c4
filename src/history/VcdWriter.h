#pragma once

#include "history/ChangeFile.h"
#include "history/IChangeWriter.h"

// A Value Change Dump (IEEE 1364) of the 64 points: one 1-bit wire each, named coil00..coil31
// and input00..input31, with a 1 µs timescale; an unknown level is x. Logic-analyser viewers
// open it as 64 channels.
class VcdWriter : public IChangeWriter {
public:
    bool Open(const std::string& path, int64_t originWallUs, int64_t timeUs,
              const PointLevel (&levels)[kHistoryPoints]) override;
    void Write(const PointChange& change) override;
    bool Flush() override { return m_file.Flush(); }
    bool Close(int64_t endUs) override;

private:
    void Time(int64_t timeUs);

    ChangeFile m_file;
    int64_t m_timeUs = -1;
};
