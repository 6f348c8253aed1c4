#pragma once

#include <fstream>
#include <string>

// The file under a change writer: opened for binary writing by UTF-8 path; remembers
// whether any write failed.
class ChangeFile {
public:
    bool Open(const std::string& path);
    std::ofstream& Stream() { return m_stream; }
    bool Flush();
    bool Close();

private:
    std::ofstream m_stream;
};
