#pragma once

#include "history/ChangeFile.h"
#include "history/IChangeWriter.h"

// The changes as CSV: a head line "time,point,value", then one line per change with the
// time in seconds since the origin (to the µs), the point's name and 0, 1 or x. The file
// starts with every point's level at the start time.
class CsvWriter : public IChangeWriter {
public:
    bool Open(const std::string& path, int64_t originWallUs, int64_t timeUs,
              const PointLevel (&levels)[kHistoryPoints]) override;
    void Write(const PointChange& change) override;
    bool Flush() override { return m_file.Flush(); }
    bool Close(int64_t) override { return m_file.Close(); }

private:
    ChangeFile m_file;
};
