#include "AnswerPacing.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// Appends `bytes` to `writes` from `at` on: at once, or byte by byte at the wire rate.
// Returns when the last byte is through.
Clock::time_point Put(std::vector<ScheduledWrite> &writes,
                      std::vector<uint8_t>::const_iterator from,
                      std::vector<uint8_t>::const_iterator to, int baud, Clock::time_point at) {
    if (baud <= 0) {
        writes.push_back({std::vector<uint8_t>(from, to), at});
        return at;
    }
    const std::chrono::nanoseconds perByte(10'000'000'000LL / baud);
    for (; from != to; ++from) {
        at += std::chrono::duration_cast<Clock::duration>(perByte);
        writes.push_back({{*from}, at});
    }
    return at;
}

} // namespace

std::vector<ScheduledWrite> PaceAnswer(const std::vector<uint8_t> &answer,
                                       const std::vector<uint8_t> &stray, const Pacing &pacing,
                                       Clock::time_point start) {
    std::vector<ScheduledWrite> writes;
    if (answer.empty())
        return writes;
    const size_t size = answer.size();
    const size_t pieces =
        std::clamp<size_t>(static_cast<size_t>(std::max(pacing.pieces, 1)), 1, size);
    Clock::time_point at = start;
    for (size_t k = 0; k < pieces; ++k) {
        if (k > 0)
            at += std::chrono::milliseconds(pacing.gapMs);
        // Pieces as even as the size allows; the first is never the longer one.
        const auto first = answer.begin() + static_cast<std::ptrdiff_t>(k * size / pieces);
        const auto last = answer.begin() + static_cast<std::ptrdiff_t>((k + 1) * size / pieces);
        at = Put(writes, first, last, pacing.baud, at);
    }
    if (!stray.empty())
        Put(writes, stray.begin(), stray.end(), pacing.baud, at);
    return writes;
}
