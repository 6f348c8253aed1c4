#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

// How the board's inputs move after their wiring changes: each change shows followMs later
// (a relay's closing time, with --inputs mirror), and a bouncing input first toggles
// kBounceToggles times, bounceMs apart, before it settles at its new level.
class InputMotion {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kBounceToggles = 4;

    InputMotion(int followMs, uint32_t bouncing, int bounceMs);
    // Whether the inputs shown ever differ from their wiring.
    bool Active() const { return followMs > 0 || bouncing != 0; }
    // Takes the inputs as wired now (bit k = input k): every changed bit starts to move.
    // Moves due by now are shown first.
    void Update(uint32_t wired, Clock::time_point now);
    // The inputs as a read sees them after the last Update.
    uint32_t Shown() const { return shown; }
    // When the next move is due; nothing when none is waiting.
    std::optional<Clock::time_point> NextDue() const;

private:
    struct Move {
        Clock::time_point at;
        int input;
        bool on;
    };

    int followMs;
    uint32_t bouncing;
    int bounceMs;
    bool started = false;
    uint32_t wired = 0;
    uint32_t shown = 0;
    std::deque<Move> moves; // in time order
};
