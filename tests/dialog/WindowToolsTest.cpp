// The window's tools against a fake window: remembered settings across two windows,
// "恢复默认设置" with its confirmation, "通信参数...", the session log fed by the panes, the
// log menu entries, and the tools that refuse to start.
#include <gtest/gtest.h>

#include <regex>

#include "dialog/FakeBoardCommunication.h"
#include "dialog/FakeWindow.h"
#include "dialog/MainDlgIds.h"
#include "dialog/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

class WindowToolsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(root.empty()); }
    ScratchFolder scratch;
    const fs::path& root = scratch.path;
};

TEST_F(WindowToolsTest, TheNextStartShowsWhatTheLastOneLeftAndResetShowsTheStartUpValues) {
    const fs::path settings = root / "config" / "vornak.ini";
    WindowSettings firstStart;
    {
        FakeWindow w(settings);
        firstStart = w.windowTools.Collect();
        w.view.Click(IDC_PROTO_55);
        w.view.Click(IDC_USE_TCP);
        w.view.Type(IDC_ADDRESS_COMBO, "300");
        w.view.SelectComboItem(IDC_BAUD_COMBO, 2);
        w.view.Type(IDC_PORT_COMBO, "/dev/serial/by-id/usb-FTDI-if00");
        w.view.Type(IDC_TCP_SERVER, "127.0.0.1");
        w.view.Type(IDC_TCP_PORT, "1502");
        w.view.Click(IDC_POLL_ENABLE);
        w.view.Type(IDC_POLL_INTERVAL, "50");
        w.tools.typed = {{"abc", "3", "5000"}, {"250", "11", "5000"}, {" 250 ", "5", "8000"}};
        w.Menu(WindowTools::IDM_LINK_PARAMETERS);
        EXPECT_EQ(w.tools.formErrors,
                  (std::vector<std::string>{"响应超时应为 20 到 60000 之间的整数 (ms)",
                                            "重试次数应为 1 到 10 之间的整数"}));
        EXPECT_EQ(w.LastSent(), "通信参数: 响应超时 250 ms，重试 5 次，心跳超时 8000 ms");
        w.dialog.OnCancel();
        EXPECT_TRUE(w.view.closed);
    }
    // The defaults of a first start are the window's start-up values, with the first port.
    WindowSettings expectedFirst;
    expectedFirst.serialPort = "COM3";
    EXPECT_EQ(firstStart, expectedFirst);

    FakeWindow w(settings);
    EXPECT_EQ(w.view.checks[IDC_PROTO_55], true);
    EXPECT_EQ(w.view.checks[IDC_PROTO_RTU], false);
    EXPECT_FALSE(w.view.enabled[IDC_INPUT_BASE + 4]); // no inputs under the 0x55 protocol
    EXPECT_TRUE(w.view.checks[IDC_USE_TCP] && !w.view.checks[IDC_USE_SERIAL]);
    EXPECT_TRUE(w.view.enabled[IDC_TCP_CONNECT] && !w.view.enabled[IDC_SERIAL_OPEN]);
    const std::pair<int32_t, const char*> texts[] = {
        {IDC_ADDRESS_COMBO, "44"}, {IDC_PORT_COMBO, "/dev/serial/by-id/usb-FTDI-if00"},
        {IDC_BAUD_COMBO, "38400"}, {IDC_TCP_SERVER, "127.0.0.1"},
        {IDC_TCP_PORT, "1502"},    {IDC_POLL_INTERVAL, "100"}};
    for (const auto& [id, text] : texts)
        EXPECT_EQ(w.view.GetText(id), text) << id;
    EXPECT_FALSE(w.view.checks[IDC_POLL_ENABLE]);
    DeviceConfig c = w.dialog.Config();
    EXPECT_EQ(std::make_tuple(c.protocolType, c.slaveAddress, c.receiveTimeout, c.retryCount,
                              c.heartbeatTimeout),
              std::make_tuple(ProtocolType::Protocol55, uint8_t(44), 250, 5, 8000));

    // Declined, nothing changes; confirmed, everything goes back.
    w.tools.confirms = false;
    const WindowSettings before = w.windowTools.Collect();
    w.Menu(WindowTools::IDM_RESTORE_DEFAULTS);
    EXPECT_EQ(w.windowTools.Collect(), before);
    w.tools.confirms = true;
    w.Menu(WindowTools::IDM_RESTORE_DEFAULTS);
    EXPECT_EQ(w.tools.confirmations, 2);
    EXPECT_EQ(w.LastSent(), "已恢复默认设置");
    EXPECT_EQ(w.windowTools.Collect(), expectedFirst);
    EXPECT_TRUE(w.view.enabled[IDC_INPUT_BASE + 4]);
    c = w.dialog.Config();
    EXPECT_EQ(std::make_tuple(c.protocolType, c.slaveAddress, c.receiveTimeout),
              std::make_tuple(ProtocolType::ModbusRtu, uint8_t(1), 100));
    EXPECT_EQ(ReadAll(settings), "");

    // Stored without a transport, the window starts with none chosen and nothing to open.
    std::ofstream(settings, std::ios::binary) << "transport=0\n";
    FakeWindow none(settings);
    EXPECT_FALSE(none.view.checks[IDC_USE_SERIAL] || none.view.enabled[IDC_SERIAL_OPEN]);
}

TEST_F(WindowToolsTest, PaneLinesReachTheSessionLogAndTheLogEntriesWork) {
    const fs::path logs = root / "state" / "logs";
    auto w = std::make_unique<FakeWindow>(root / "vornak.ini", logs);
    std::vector<std::string> entries;
    for (const MenuEntry& entry : w->dialog.MenuEntries())
        entries.push_back(entry.text);
    EXPECT_EQ(entries, (std::vector<std::string>{
                           "关于 Vornak(&A)...", "点位时间线...", "板卡自检...", "查找设备...",
                           "打开日志文件夹", "保存日志...", "通信参数...", "", "恢复默认设置"}));

    w->view.Click(IDC_COIL_BASE + 3);
    w->dialog.ShowLine("接收: 01 01 04 00 00 00 00 FB D1 ", false);
    w->view.Click(IDC_POLL_ENABLE);

    w->Menu(WindowTools::IDM_OPEN_LOG_FOLDER);
    EXPECT_EQ(w->tools.openedFolders, std::vector<std::string>{logs.u8string()});
    w->tools.folderOpens = false;
    w->Menu(WindowTools::IDM_OPEN_LOG_FOLDER);
    EXPECT_EQ(w->LastSent(), "❌ 无法打开日志文件夹: " + logs.u8string());

    // A save that fails says why, in the pane and in a message box.
    for (const auto& [where, why] : {std::pair(root / "missing" / "saved.txt", "文件夹不存在"),
                                     std::pair(root, "这是一个文件夹")}) {
        w->tools.saveAs = where.u8string();
        w->Menu(WindowTools::IDM_SAVE_LOG);
        EXPECT_EQ(w->LastSent(), "❌ 保存日志失败: " + where.u8string() + "（" + why + "）");
        EXPECT_EQ(w->tools.messages.back(),
                  "保存日志: 无法保存日志: " + where.u8string() + "\n" + why);
    }
    w->tools.saveAs = (root / "saved.txt").u8string();
    w->Menu(WindowTools::IDM_SAVE_LOG);
    EXPECT_EQ(w->LastSent(), "日志已保存: " + w->tools.saveAs);
    w->dialog.OnCancel(); // writes what the log still holds
    w.reset();

    std::string file;
    for (const auto& entry : fs::directory_iterator(logs))
        file += ReadAll(entry.path());
    // The saved file and the session log carry the same lines, each with its time and pane.
    std::vector<std::string> lines = {
        "[发送] 错误: 设备未连接", "[接收] 接收: 01 01 04 00 00 00 00 FB D1 ",
        "[发送] 定时查询已停止", "[发送] ❌ 无法打开日志文件夹: " + logs.u8string()};
    for (const fs::path& failed : {root / "missing" / "saved.txt", root})
        lines.push_back("[发送] ❌ 保存日志失败: " + failed.u8string());
    for (const auto& [text, count] : {std::pair(ReadAll(root / "saved.txt"), lines.size()),
                                      std::pair(file, lines.size() + 1)}) {
        const std::regex stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} ");
        std::istringstream in(text);
        std::string line;
        for (size_t i = 0; i < count; ++i) {
            ASSERT_TRUE(std::getline(in, line));
            EXPECT_TRUE(std::regex_search(line, stamp)) << line;
            if (i < lines.size()) {
                EXPECT_EQ(line.substr(24, lines[i].size()), lines[i]);
            }
        }
        EXPECT_FALSE(std::getline(in, line));
    }
}

// Each menu command reaches its tool; one that cannot start now says why in the pane and in
// a message box, and opens nothing.
TEST_F(WindowToolsTest, MenuCommandsOpenTheirToolOrSayWhyNot) {
    const std::tuple<int32_t, int32_t, bool, std::string, std::string> cases[] = {
        // command, selector clicked (the serial one, ticked at the start, clears), connected,
        // refusal, what opened (T self-test, S search, A about box)
        {WindowTools::IDM_SELF_TEST, IDC_USE_TCP, false, "板卡自检: 错误: 设备未连接", ""},
        {WindowTools::IDM_SELF_TEST, IDC_USE_TCP, true, "", "T"},
        {WindowTools::IDM_FIND_BOARD, IDC_USE_TCP, true, "查找设备: 请先断开连接，再查找设备", ""},
        {WindowTools::IDM_FIND_BOARD, IDC_USE_SERIAL, false, "查找设备: 请先选择通信方式", ""},
        {WindowTools::IDM_FIND_BOARD, IDC_USE_UDP, false, "", "S"},
        {IDM_ABOUTBOX, IDC_USE_TCP, true, "", "A"},
        {WindowTools::IDM_RESTORE_DEFAULTS, IDC_USE_TCP, true,
         "恢复默认设置: 请先断开连接，再恢复默认设置", ""}};
    for (const auto& [command, selector, connected, refusal, opened] : cases) {
        SCOPED_TRACE(command);
        FakeWindow w(root / "refusals.ini");
        w.dialog.SetDeviceHooks(BoardHooks(std::make_shared<FakeBoard>()));
        w.view.Click(selector);
        if (connected)
            w.view.Click(IDC_TCP_CONNECT);
        w.Menu(command);
        EXPECT_EQ(w.tools.opened + std::string(w.view.aboutBoxes, 'A'), opened);
        EXPECT_EQ(w.tools.messages,
                  refusal.empty() ? std::vector<std::string>{} : std::vector<std::string>{refusal});
        if (!refusal.empty()) {
            EXPECT_EQ(w.LastSent(), refusal.substr(refusal.find(": ") + 2));
        }
        EXPECT_EQ(w.tools.confirmations, 0);
    }
}

} // namespace
