#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The simulator's output. Traffic lines (time stamp, where, direction, hex bytes) and
// notes about faults go to standard output unless quiet; machine-readable lines
// (LISTEN, SEED, READY, OK, ERR, STATE, STATS) are always printed; errors go to standard
// error. Every line is flushed at once so that a reading process sees it.
class Console {
public:
    explicit Console(bool quiet) : quiet(quiet) {}

    // "12:00:01.234 tcp 127.0.0.1:40500 RX 01 01 00 00 00 20 3D D2"
    void Traffic(const std::string& where, const char* direction,
                 const std::vector<uint8_t>& bytes) const;
    // "12:00:01.234 tcp 127.0.0.1:40500 -- answer dropped"
    void Note(const std::string& where, const std::string& text) const;
    void Line(const std::string& text) const;
    static void Error(const std::string& text);

    // Bytes as upper-case hexadecimal pairs separated by single spaces.
    static std::string Hex(const std::vector<uint8_t>& bytes);

private:
    static std::string TimeStamp();
    static void Write(std::FILE* stream, const std::string& text);

    bool quiet;
};
