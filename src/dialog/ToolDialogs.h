#pragma once

#include <cstdint>

#include "dialog/AboutBoxTexts.h"
#include "dialog/DialogDescription.h"

// The window's smaller dialogs, described once for both faces: the board self-test, the
// board search, the link parameter form and the about box. The identifiers are the
// controls' stable names; the faces and their tests address the controls by them.
class ToolDialogs {
public:
    // Closing buttons, with the numbers Windows gives OK and Cancel.
    static constexpr int32_t IDC_OK = 1;
    static constexpr int32_t IDC_CANCEL = 2;

    // "板卡自检": the loopback option, start, cancel, copy, the coil and input grids
    // (ShowPoint addresses their cells), progress and the verdict line.
    static constexpr int32_t IDC_SELFTEST_LOOPBACK = 3001;
    static constexpr int32_t IDC_SELFTEST_START = 3002;
    static constexpr int32_t IDC_SELFTEST_CANCEL = 3003;
    static constexpr int32_t IDC_SELFTEST_COPY = 3004;
    static constexpr int32_t IDC_SELFTEST_COILS = 3005;
    static constexpr int32_t IDC_SELFTEST_INPUTS = 3006;
    static constexpr int32_t IDC_SELFTEST_PROGRESS = 3007;
    static constexpr int32_t IDC_SELFTEST_VERDICT = 3008;

    // "查找设备": the two options, start, cancel, use the chosen board, the list of boards
    // found, progress and the status line.
    static constexpr int32_t IDC_SEARCH_ALL_PROTOCOLS = 3101;
    static constexpr int32_t IDC_SEARCH_ALL_LINE_SETTINGS = 3102;
    static constexpr int32_t IDC_SEARCH_START = 3103;
    static constexpr int32_t IDC_SEARCH_CANCEL = 3104;
    static constexpr int32_t IDC_SEARCH_USE = 3105;
    static constexpr int32_t IDC_SEARCH_FOUND = 3106;
    static constexpr int32_t IDC_SEARCH_PROGRESS = 3107;
    static constexpr int32_t IDC_SEARCH_STATUS = 3108;

    // "通信参数": the three fields and the line that says what is wrong with them.
    static constexpr int32_t IDC_LINK_RECEIVE_TIMEOUT = 3201;
    static constexpr int32_t IDC_LINK_RETRY_COUNT = 3202;
    static constexpr int32_t IDC_LINK_HEARTBEAT_TIMEOUT = 3203;
    static constexpr int32_t IDC_LINK_PROBLEM = 3204;

    // The about box's icon and its two lines.
    static constexpr int32_t IDC_ABOUT_ICON = 3301;
    static constexpr int32_t IDC_ABOUT_VERSION = 3302;
    static constexpr int32_t IDC_ABOUT_COPYRIGHT = 3303;

    static DialogDescription SelfTest();
    // "尝试所有协议" starts ticked.
    static DialogDescription BoardSearch();
    static DialogDescription LinkParameters();
    static DialogDescription About(const AboutBoxTexts& texts);

    // The search's hand-back: whether a double-click or "使用所选设备" on row (-1: none
    // chosen) may hand that board to the main window now: only with a row chosen and no
    // search running.
    static bool MayChoose(int32_t row, bool running) { return row >= 0 && !running; }
};
