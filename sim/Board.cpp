#include "Board.h"

Board::Board(uint32_t coils, uint32_t inputs, InputMode mode)
    : coils(coils), inputs(mode == InputMode::Walk ? 1u : inputs), mode(mode) {}

uint32_t Board::InputWord() const {
    return (showing ? shownInputs : WiredInputWord()) & ~deadInputs;
}

uint32_t Board::WiredInputWord() const {
    return mode == InputMode::Mirror ? coils : inputs;
}

void Board::SetCoil(int index, bool on) {
    // Every coil reached through a chain of shorts switches, unless it is stuck.
    uint32_t group = 1u << index;
    for (uint32_t before = 0; before != group;) {
        before = group;
        for (int k = 0; k < kPoints; ++k) {
            if (group >> k & 1u)
                group |= shortedTo[k];
        }
    }
    const uint32_t moving = group & ~stuck;
    coils = on ? (coils | moving) : (coils & ~moving);
}

void Board::StickCoil(int index, bool on) {
    const uint32_t bit = 1u << index;
    coils = on ? (coils | bit) : (coils & ~bit);
    stuck |= bit;
}

void Board::ShortCoils(int first, int second) {
    shortedTo[first] |= 1u << second;
    shortedTo[second] |= 1u << first;
}

void Board::KillInput(int index) {
    deadInputs |= 1u << index;
}

void Board::Repair() {
    stuck = 0;
    deadInputs = 0;
    for (uint32_t &shorts : shortedTo)
        shorts = 0;
}

bool Board::SetInput(int index, bool on) {
    if (mode == InputMode::Mirror)
        return false;
    uint32_t bit = 1u << index;
    inputs = on ? (inputs | bit) : (inputs & ~bit);
    return true;
}

void Board::Step() {
    if (mode != InputMode::Walk)
        return;
    walkPosition = (walkPosition + 1) % kPoints;
    inputs = 1u << walkPosition;
}
