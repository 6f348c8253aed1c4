#pragma once

#include <array>
#include <cstdint>

#include "dialog/DlgItem.h"

// The main dialog's layout: its client size in dialog units and its 60 controls in
// template order, which is also the tab order. The coil and input buttons are not
// part of it; the dialog creates them at start-up inside group boxes 1019 and 1020.
struct MainDlgTemplate {
    static constexpr int32_t kWidth = 617;
    static constexpr int32_t kHeight = 424;
    static constexpr const char* kCaption = "Vornak V1.00";
    static const std::array<DlgItem, 60> kItems;
};
