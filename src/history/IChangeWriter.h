#pragma once

#include <string>

#include "history/PointHistory.h"

// A file that receives point changes as they come: opened with the levels at the start,
// then one change at a time, in time order.
class IChangeWriter {
public:
    virtual ~IChangeWriter() = default;

    // Creates the file (UTF-8 path) and writes its head: the 64 points and their levels at
    // timeUs (µs since the origin, whose wall-clock time is originWallUs). False when the
    // file cannot be created.
    virtual bool Open(const std::string& path, int64_t originWallUs, int64_t timeUs,
                      const PointLevel (&levels)[kHistoryPoints]) = 0;
    virtual void Write(const PointChange& change) = 0;
    // Writes out what is buffered; false when any write since Open failed.
    virtual bool Flush() = 0;
    // Ends the record at endUs (no later than the last change is taken as the last change),
    // flushes and closes the file; false when any write failed.
    virtual bool Close(int64_t endUs) = 0;
};

// A level as files write it: 0, 1 or x.
char LevelChar(PointLevel level);
// The name of a point in files: coil00..coil31, input00..input31.
std::string PointName(int32_t point);
// A wall-clock time (µs since 1970) as "YYYY-MM-DD hh:mm:ss.mmm UTC".
std::string UtcText(int64_t wallUs);
// Writes a whole history: its levels before the oldest change kept, then every change kept,
// the record ending at endUs. False when the file cannot be created or written.
bool ExportHistory(const PointHistory& history, IChangeWriter& writer, const std::string& path,
                   int64_t endUs);
