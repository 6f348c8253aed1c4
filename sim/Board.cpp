#include "Board.h"

Board::Board(uint32_t coils, uint32_t inputs, InputMode mode)
    : coils(coils), inputs(mode == InputMode::Walk ? 1u : inputs), mode(mode) {}

uint32_t Board::InputWord() const {
    return mode == InputMode::Mirror ? coils : inputs;
}

void Board::SetCoil(int index, bool on) {
    uint32_t bit = 1u << index;
    coils = on ? (coils | bit) : (coils & ~bit);
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
