#pragma once

#include <cstdint>

// How the 32 discrete inputs move.
enum class InputMode {
    Fixed,  // as set by options and the `input` command
    Walk,   // one lit input that moves to the next index at every Step()
    Mirror, // input k follows coil k (a coil-to-input loopback)
};

// The 32 coils and 32 discrete inputs of the simulated board; bit k of a word is point k.
class Board {
public:
    static constexpr int kPoints = 32;

    Board(uint32_t coils, uint32_t inputs, InputMode mode);

    bool Coil(int index) const { return (coils >> index & 1u) != 0; }
    bool Input(int index) const { return (InputWord() >> index & 1u) != 0; }
    uint32_t CoilWord() const { return coils; }
    // The inputs a read sees: as wired, or as last shown when their motion is simulated.
    uint32_t InputWord() const;
    // The inputs as the wiring gives them now (mirror: the coils), before any motion.
    uint32_t WiredInputWord() const;
    // From now on reads see these inputs (dead inputs still read OFF).
    void ShowInputs(uint32_t word) {
        shownInputs = word;
        showing = true;
    }
    InputMode Mode() const { return mode; }

    // Index must be 0..31. Coils shorted to it switch with it; stuck coils do not move.
    void SetCoil(int index, bool on);
    // False (nothing changed) in Mirror mode, where inputs follow the coils.
    bool SetInput(int index, bool on);
    // Advances the walking input; does nothing in the other modes.
    void Step();

    // Hardware faults (indexes 0..31). A stuck coil is set to `on` and stays there; two
    // shorted coils switch together (shorts chain); a dead input always reads OFF.
    void StickCoil(int index, bool on);
    void ShortCoils(int first, int second);
    void KillInput(int index);
    // Undoes every hardware fault; the states stay as they are.
    void Repair();
    // A power cycle: every coil OFF (stuck ones too), the faults stay.
    void PowerCycle() { coils = 0; }
    // How many points the board has (1..32): requests for the others are refused.
    int Points() const { return points; }
    void SetPoints(int count) { points = count; }

private:
    uint32_t coils;
    uint32_t inputs;
    InputMode mode;
    int walkPosition = 0;
    int points = kPoints;
    uint32_t stuck = 0;
    uint32_t deadInputs = 0;
    uint32_t shownInputs = 0;
    bool showing = false;
    uint32_t shortedTo[kPoints] = {}; // bit j of entry k: coil k is shorted to coil j
};
