#include "InputMotion.h"

#include <algorithm>

InputMotion::InputMotion(int followMs, uint32_t bouncing, int bounceMs)
    : followMs(followMs), bouncing(bouncing), bounceMs(bounceMs) {}

void InputMotion::Update(uint32_t nowWired, Clock::time_point now) {
    while (!moves.empty() && moves.front().at <= now) {
        const uint32_t bit = 1u << moves.front().input;
        shown = moves.front().on ? (shown | bit) : (shown & ~bit);
        moves.pop_front();
    }
    if (!started) {
        // The levels at start are there from the beginning.
        started = true;
        wired = shown = nowWired;
        return;
    }
    const uint32_t changed = nowWired ^ wired;
    wired = nowWired;
    for (int k = 0; k < 32; ++k) {
        if ((changed >> k & 1u) == 0)
            continue;
        const bool on = (nowWired >> k & 1u) != 0;
        const Clock::time_point start = now + std::chrono::milliseconds(followMs);
        const int toggles = (bouncing >> k & 1u) != 0 ? kBounceToggles : 0;
        // Bouncing: new, old, new, old, ..., and the new level last.
        for (int t = 0; t <= toggles; ++t)
            moves.push_back(
                Move{start + std::chrono::milliseconds(t * bounceMs), k, t % 2 == 0 ? on : !on});
    }
    // Moves of different inputs may interleave; a stable sort keeps each input's order.
    std::stable_sort(moves.begin(), moves.end(),
                     [](const Move &a, const Move &b) { return a.at < b.at; });
    if (followMs == 0 && bouncing == 0)
        shown = wired;
}

std::optional<InputMotion::Clock::time_point> InputMotion::NextDue() const {
    if (moves.empty())
        return std::nullopt;
    return moves.front().at;
}
