#include "comm/CancelSignal.h"

namespace {

thread_local CancelSignal* current = nullptr;

} // namespace

CancelSignal* CancelSignal::Current() {
    return current;
}

void CancelSignal::SetCurrent(CancelSignal* signal) {
    current = signal;
}

bool CancelSignal::CurrentRaised() {
    return current != nullptr && current->IsRaised();
}
