// "查找设备..." against a fake window and a Modbus RTU board at address 7 behind a fake
// transport: found over the network and, through the line settings, on a serial port; the
// chosen board fills the main window's fields.
#include <gtest/gtest.h>

#include "dialog/BoardSearchSession.h"
#include "dialog/FakeBoardCommunication.h"
#include "dialog/FakeDialogView.h"
#include "dialog/IniSettingsStore.h"
#include "dialog/InlineJobQueue.h"
#include "dialog/MainDlgIds.h"
#include "dialog/WindowTools.h"

namespace {

struct NoToolsView : IToolsView {
    bool OpenFolder(const std::string&) override { return false; }
    std::string AskSaveFileName(const std::string&) override { return {}; }
    bool AskLinkParameters(LinkParameterTexts&,
                           const std::function<std::string(const LinkParameterTexts&)>&) override {
        return false;
    }
    void ShowSelfTest(MainDialog&) override {}
    void ShowBoardSearch(WindowTools&) override {}
};

struct FakeSearchView : IBoardSearchView {
    std::vector<std::string> found;
    int64_t done = 0, total = 0;
    std::string status;
    bool running = false;

    void ClearFound() override { found.clear(); }
    void AddFound(const std::string& text) override { found.push_back(text); }
    void ShowProgress(int64_t d, int64_t t) override { done = d, total = t; }
    void ShowStatus(const std::string& text) override { status = text; }
    void ShowRunning(bool r) override { running = r; }
};

class BoardSearchSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.dialog = &dialog;
        dialog.SetTools(&tools);
        dialog.OnInitDialog();
        board->address = 7;
    }

    std::shared_ptr<Board> board = std::make_shared<Board>();
    FakeDialogView view;
    NoToolsView toolsView;
    IniSettingsStore store{""};
    MainDialog dialog{view, [] { return std::vector<std::string>{"COM3"}; },
                      std::make_unique<InlineJobQueue>()};
    WindowTools tools{dialog, view, toolsView, store, ""};
    FakeSearchView searchView;
    BoardSearchSession session{tools, searchView,
                               Device::Hooks{[this](CommType kind) {
                                                 return std::make_unique<BoardCommunication>(board,
                                                                                             kind);
                                             },
                                             [] { return int64_t(0); }, [](int32_t) {}}};
};

TEST_F(BoardSearchSessionTest, FindsTheBoardOverTheNetworkAndOnASerialLine) {
    view.Click(IDC_USE_TCP);
    session.Start(false, false);
    EXPECT_TRUE(searchView.running);
    view.Pump(1);
    EXPECT_EQ(searchView.total, 247); // Modbus addresses 1..247 with the window's protocol
    view.Pump();
    EXPECT_EQ(searchView.found, std::vector<std::string>{"地址 7  Modbus RTU"});
    EXPECT_EQ(searchView.status, "完成，找到 1 个设备");
    EXPECT_EQ(searchView.done, searchView.total);
    EXPECT_FALSE(searchView.running);
    ASSERT_TRUE(session.Choose(0));
    EXPECT_EQ(view.GetText(IDC_ADDRESS_COMBO), "7");
    EXPECT_EQ(dialog.Config().slaveAddress, 7);
    EXPECT_FALSE(session.Choose(1));

    // On a serial line the board hears only 19200 baud with even parity.
    board->baudRate = 19200;
    board->parity = 2;
    view.Click(IDC_USE_SERIAL);
    session.Start(true, true);
    view.Pump();
    EXPECT_EQ(searchView.found, std::vector<std::string>{"地址 7  Modbus RTU  19200 偶校验"});
    ASSERT_TRUE(session.Choose(0));
    EXPECT_EQ(view.GetText(IDC_BAUD_COMBO) + " " + view.GetText(IDC_PARITY_COMBO), "19200 偶校验");
    EXPECT_EQ(view.GetText(IDC_PORT_COMBO), "COM3");
}

TEST_F(BoardSearchSessionTest, CancelEndsTheSearchAndNoTransportIsRefused) {
    view.Click(IDC_USE_UDP);
    // Cancelled while the worker asks address 20: what was found stays.
    board->onRead = [this](uint8_t address) {
        if (address == 20)
            session.Cancel();
    };
    session.Start(true, false);
    view.Pump();
    EXPECT_EQ(searchView.status, "已取消，找到 1 个设备");
    EXPECT_EQ(searchView.found, std::vector<std::string>{"地址 7  Modbus RTU"});
    EXPECT_LT(searchView.done, searchView.total);

    view.Click(IDC_USE_UDP); // clears it: no transport chosen
    session.Start(true, false);
    EXPECT_EQ(searchView.status, "请先选择通信方式");
    EXPECT_FALSE(searchView.running);
}

} // namespace
