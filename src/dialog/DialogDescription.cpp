#include "dialog/DialogDescription.h"

const DialogControl* DialogDescription::Find(int32_t id) const {
    for (const DialogRow& row : rows) {
        for (const DialogControl& control : row.controls) {
            if (control.id == id)
                return &control;
        }
    }
    return nullptr;
}

bool DialogDescription::EnabledWhile(int32_t id, bool running) const {
    const DialogControl* control = Find(id);
    if (control == nullptr)
        return true;
    switch (control->rule) {
    case RunRule::Idle:
        return !running;
    case RunRule::Running:
        return running;
    case RunRule::Always:
        break;
    }
    return true;
}

std::vector<int32_t> DialogDescription::RunDependent() const {
    std::vector<int32_t> ids;
    for (const DialogRow& row : rows) {
        for (const DialogControl& control : row.controls) {
            if (control.rule != RunRule::Always)
                ids.push_back(control.id);
        }
    }
    return ids;
}
