#include "history/ChangeFile.h"

#include <filesystem>

bool ChangeFile::Open(const std::string& path) {
    m_stream.open(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    return m_stream.is_open();
}

bool ChangeFile::Flush() {
    m_stream.flush();
    return m_stream.good();
}

bool ChangeFile::Close() {
    if (!m_stream.is_open())
        return false;
    const bool good = Flush();
    m_stream.close();
    return good && !m_stream.fail();
}
