#include "dialog/ToolDialogs.h"

namespace {

using K = DialogControlKind;

} // namespace

DialogDescription ToolDialogs::SelfTest() {
    DialogDescription d;
    d.caption = "板卡自检";
    d.minWidthEm = 24;
    d.rows = {
        {{{IDC_SELFTEST_LOOPBACK, K::CheckBox, "回环检查（线圈 k 接输入 k）", 0, RunRule::Idle},
          {IDC_SELFTEST_START, K::Button, "开始", 0, RunRule::Idle},
          {IDC_SELFTEST_CANCEL, K::Button, "取消", 0, RunRule::Running},
          {IDC_SELFTEST_COPY, K::Button, "复制结果", 0, RunRule::Idle}}},
        {{{IDC_SELFTEST_COILS, K::PointGrid, "线圈", 100}}},
        {{{IDC_SELFTEST_INPUTS, K::PointGrid, "输入", 100}}},
        {{{IDC_SELFTEST_PROGRESS, K::Progress, "", 100}}},
        {{{IDC_SELFTEST_VERDICT, K::Text, "", 100}}},
    };
    return d;
}

DialogDescription ToolDialogs::BoardSearch() {
    DialogDescription d;
    d.caption = "查找设备";
    d.minWidthEm = 22;
    d.rows = {
        {{{IDC_SEARCH_ALL_PROTOCOLS, K::CheckBox, "尝试所有协议", 0, RunRule::Idle}}},
        {{{IDC_SEARCH_ALL_LINE_SETTINGS, K::CheckBox, "串口: 尝试所有波特率和校验位", 0,
           RunRule::Idle}}},
        {{{IDC_SEARCH_START, K::Button, "开始", 0, RunRule::Idle},
          {IDC_SEARCH_CANCEL, K::Button, "取消", 0, RunRule::Running},
          {IDC_SEARCH_USE, K::Button, "使用所选设备", 0, RunRule::Idle}}},
        {{{IDC_SEARCH_FOUND, K::List, "", 100}}},
        {{{IDC_SEARCH_PROGRESS, K::Progress, "", 100}}},
        {{{IDC_SEARCH_STATUS, K::Text, "", 100}}},
    };
    return d;
}

DialogDescription ToolDialogs::LinkParameters() {
    DialogDescription d;
    d.caption = "通信参数";
    d.minWidthEm = 18;
    d.defaultButton = IDC_OK;
    d.rows = {
        {{{-1, K::Text, "响应超时 (ms):", 50}, {IDC_LINK_RECEIVE_TIMEOUT, K::Edit, "", 50}}},
        {{{-1, K::Text, "重试次数:", 50}, {IDC_LINK_RETRY_COUNT, K::Edit, "", 50}}},
        {{{-1, K::Text, "心跳超时 (ms):", 50}, {IDC_LINK_HEARTBEAT_TIMEOUT, K::Edit, "", 50}}},
        {{{IDC_LINK_PROBLEM, K::Text, "", 100}}},
        {{{IDC_OK, K::Button, "确定"}, {IDC_CANCEL, K::Button, "取消"}}, true},
    };
    return d;
}

DialogDescription ToolDialogs::About(const AboutBoxTexts& texts) {
    DialogDescription d;
    d.caption = texts.caption;
    d.defaultButton = IDC_OK;
    d.rows = {
        {{{IDC_ABOUT_ICON, K::Icon, ""}, {IDC_ABOUT_VERSION, K::Text, texts.versionLine}}},
        {{{IDC_ABOUT_COPYRIGHT, K::Text, texts.copyrightLine}}},
        {{{IDC_OK, K::Button, texts.okButton}}, true},
    };
    return d;
}
