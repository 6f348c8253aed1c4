#include "cli/PollRecording.h"

#include <algorithm>
#include <chrono>

#include "history/CsvWriter.h"
#include "history/VcdWriter.h"

namespace {

int64_t ToUs(std::chrono::nanoseconds since) {
    return std::chrono::duration_cast<std::chrono::microseconds>(since).count();
}

} // namespace

bool PollRecording::Open(const std::string& vcdPath, const std::string& csvPath,
                         std::string& error) {
    std::fill(std::begin(m_levels), std::end(m_levels), PointLevel::Unknown);
    m_originUs = NowUs();
    const int64_t wallUs = ToUs(std::chrono::system_clock::now().time_since_epoch());
    const std::pair<const std::string*, bool> files[] = {{&vcdPath, true}, {&csvPath, false}};
    for (const auto& [path, vcd] : files) {
        if (path->empty())
            continue;
        std::unique_ptr<IChangeWriter> writer;
        if (vcd)
            writer = std::make_unique<VcdWriter>();
        else
            writer = std::make_unique<CsvWriter>();
        if (!writer->Open(*path, wallUs, 0, m_levels)) {
            error = "cannot create " + *path;
            return false;
        }
        m_writers.push_back(std::move(writer));
    }
    return true;
}

void PollRecording::OnRead(bool coils, bool success, const std::vector<int>& states) {
    const int64_t timeUs = NowUs() - m_originUs;
    const int32_t first = coils ? 0 : kFirstInputPoint;
    for (int32_t k = 0; k < kFirstInputPoint; ++k) {
        PointLevel level = PointLevel::Unknown;
        if (success && static_cast<size_t>(k) < states.size())
            level = states[static_cast<size_t>(k)] != 0 ? PointLevel::High : PointLevel::Low;
        if (m_levels[first + k] == level)
            continue;
        m_levels[first + k] = level;
        for (const auto& writer : m_writers)
            writer->Write(PointChange{timeUs, static_cast<uint8_t>(first + k), level});
    }
}

void PollRecording::Flush() {
    for (const auto& writer : m_writers)
        writer->Flush();
}

bool PollRecording::Close() {
    bool good = true;
    const int64_t endUs = NowUs() - m_originUs;
    for (const auto& writer : m_writers)
        good = writer->Close(endUs) && good;
    m_writers.clear();
    return good;
}

int64_t PollRecording::NowUs() const {
    return ToUs(std::chrono::steady_clock::now().time_since_epoch());
}
